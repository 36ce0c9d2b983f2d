#include "platform/services/account_store.h"

#include <algorithm>
#include <set>

#include "platform/json/strict_json.h"
#include "platform/services/files.h"
#include "platform/services/paths.h"
#include "platform/services/versioned_json.h"

namespace mail::services {
namespace {

constexpr int kVersion = 1;

Result<AccountRecord> read_record(const json::Json& value, std::size_t index) {
    std::string where = "account " + std::to_string(index);
    if (!value.is_object()) return make_error(where + " is not an object");
    auto text = [&](const char* key) -> Result<std::string> {
        auto found = value.find(key);
        if (found == value.end() || !found->is_string()) return make_error(where + ": \"" + key + "\" must be a string");
        return found->get<std::string>();
    };
    AccountRecord record;
    auto id = text("id");
    if (!id) return id.error();
    if (id->empty()) return make_error(where + ": \"id\" is empty");
    auto type = text("type");
    if (!type) return type.error();
    auto label = text("label");
    if (!label) return label.error();
    auto settings = text("settings");
    if (!settings) return settings.error();
    record.id = std::move(*id);
    record.type = AccountTypeId::from(std::move(*type));
    record.label = std::move(*label);
    record.settings_json = std::move(*settings);
    if (auto color = value.find("color"); color != value.end()) {
        if (!color->is_number_unsigned() || color->get<std::uint64_t>() > 255) {
            return make_error(where + ": \"color\" must be a number from 0 to 255");
        }
        record.color = static_cast<std::uint8_t>(color->get<std::uint64_t>());
    }
    return record;
}

}  // namespace

std::filesystem::path AccountStore::file_in(const std::filesystem::path& root) { return root / "accounts.json"; }

Result<AccountStore> AccountStore::load() {
    auto root = config_root();
    if (!root) return AccountStore();
    return load_in(*root);
}

Result<AccountStore> AccountStore::load_in(const std::filesystem::path& root) {
    std::filesystem::path file = file_in(root);
    auto read = read_versioned_json(file, "account registry", kVersion);
    if (!read) return read.error();
    AccountStore store;
    if (!read->has_value()) return store;
    auto damaged = [&](const std::string& detail) { return damaged_file("account registry", file, detail); };
    const json::Json& doc = **read;
    auto accounts = doc.find("accounts");
    if (accounts == doc.end() || !accounts->is_array()) return damaged("\"accounts\" must be an array");
    std::set<std::string> ids;
    for (std::size_t i = 0; i < accounts->size(); ++i) {
        auto record = read_record((*accounts)[i], i);
        if (!record) return damaged(record.error_text());
        if (!ids.insert(record->id).second) return damaged("account id \"" + record->id + "\" appears twice");
        store.records_.push_back(std::move(*record));
    }
    if (auto active = doc.find("active"); active != doc.end()) {
        if (!active->is_object()) return damaged("\"active\" must be an object");
        for (const auto& [type, id] : active->items()) {
            if (!id.is_string()) return damaged("active id for \"" + type + "\" must be a string");
            store.active_.emplace_back(type, id.get<std::string>());
        }
    }
    return store;
}

std::vector<AccountRecord> AccountStore::list(const AccountTypeId& type) const {
    std::vector<AccountRecord> out;
    for (const auto& record : records_) {
        if (record.type == type) out.push_back(record);
    }
    return out;
}

std::optional<AccountId> AccountStore::active_id(const AccountTypeId& type) const {
    for (const auto& [t, id] : active_) {
        if (t == type.value) return id;
    }
    return std::nullopt;
}

void AccountStore::upsert(AccountRecord record) {
    auto found = std::find_if(records_.begin(), records_.end(), [&](const auto& r) { return r.id == record.id; });
    if (found != records_.end()) *found = std::move(record);
    else records_.push_back(std::move(record));
}

void AccountStore::remove(const AccountId& id) {
    std::erase_if(records_, [&](const auto& r) { return r.id == id; });
    std::erase_if(active_, [&](const auto& entry) { return entry.second == id; });
}

void AccountStore::set_active(const AccountTypeId& type, const AccountId& id) {
    for (auto& [t, active] : active_) {
        if (t == type.value) {
            active = id;
            return;
        }
    }
    active_.emplace_back(type.value, id);
}

Status AccountStore::save_in(const std::filesystem::path& root) const {
    json::OrderedJson doc;
    doc["version"] = kVersion;
    json::OrderedJson accounts = json::OrderedJson::array();
    for (const auto& record : records_) {
        json::OrderedJson item;
        item["id"] = record.id;
        item["type"] = record.type.value;
        item["label"] = record.label;
        item["color"] = record.color;
        item["settings"] = record.settings_json;
        accounts.push_back(std::move(item));
    }
    doc["accounts"] = std::move(accounts);
    json::OrderedJson active = json::OrderedJson::object();
    for (const auto& [type, id] : active_) active[type] = id;
    doc["active"] = std::move(active);
    // A text that is not UTF-8 fails the save: replacing bytes would silently change what was stored.
    std::string text;
    try {
        text = doc.dump(2) + "\n";
    } catch (const json::OrderedJson::exception&) {
        return make_error("could not write " + file_in(root).string() + ": a text is not valid UTF-8");
    }
    return write_file_atomic(file_in(root), text, 0600);
}

}  // namespace mail::services
