#include "platform/pickers/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMetaObject>
#include <QStandardPaths>
#include <QStringList>

#include <memory>

namespace mail::ui::pick_detail {

namespace {

QString qt_text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QStringList name_filters(const std::vector<FileFilter>& filters) {
    QStringList out;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns) patterns << qt_text(pattern);
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        out << qt_text(filter.name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

// Runs on the UI thread: a non-modal dialog whose answer travels back on the channel.
void show_dialog(const PickDescription& description, std::shared_ptr<Sender<PickRequest::ScriptedAnswer>> sender) {
    const bool saving = description.kind == PickKind::Save;
    auto* dialog = new QFileDialog(QApplication::activeWindow(), qt_text(description.title));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!description.accept_label.empty()) dialog->setLabelText(QFileDialog::Accept, qt_text(description.accept_label));
    const QStringList filters = name_filters(description.filters);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    const auto place = saving ? QStandardPaths::DownloadLocation : QStandardPaths::HomeLocation;
    dialog->setDirectory(QStandardPaths::writableLocation(place));
    if (saving && !description.suggested_name.empty()) dialog->selectFile(qt_text(description.suggested_name));

    // The lambdas own the sender; when the dialog is deleted without answering, the portal
    // thread sees the channel close.
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [sender](const QString& file) {
        const QByteArray bytes = file.toUtf8();
        sender->send(std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    });
    QObject::connect(dialog, &QFileDialog::rejected, dialog, [sender] { sender->send(PickCancelled{}); });
    dialog->open();
}

}  // namespace

std::optional<PickRequest::ScriptedAnswer> run_file_dialog(const PickDescription& description) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return PickRequest::ScriptedAnswer(PickCancelled{});
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return PickRequest::ScriptedAnswer(PickCancelled{});

    Channel<PickRequest::ScriptedAnswer> channel = make_channel<PickRequest::ScriptedAnswer>();
    auto sender = std::make_shared<Sender<PickRequest::ScriptedAnswer>>(std::move(channel.sender));
    QMetaObject::invokeMethod(
        app, [description, sender]() mutable { show_dialog(description, std::move(sender)); }, Qt::QueuedConnection);
    sender.reset();
    return channel.receiver.recv();
}

}  // namespace mail::ui::pick_detail
