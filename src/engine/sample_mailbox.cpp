#include "engine/sample_mailbox.h"

#include "engine/message_parser.h"

namespace mail::engine {

namespace {

constexpr const char* kPlaceholderPassword = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";

MailAddress person(const char* name, const char* address) { return MailAddress{address, std::string(name)}; }

// The account holder and the eight senders the sample mail comes from.
struct Identities {
    MailAddress you = person("You", "you@example.com");
    MailAddress maya = person("Maya Lindqvist", "maya.lindqvist@northwind.example");
    MailAddress tomas = person("Tom\u00e1s Ferreira", "tomas@ferreira.example");
    MailAddress priya = person("Priya Natarajan", "priya.n@example.org");
    MailAddress jonas = person("Jonas Becker", "jonas.becker@example.net");
    MailAddress aiko = person("Aiko Tanaka", "aiko@tanaka.example");
    MailAddress rex = person("Rex Bellamy", "rex@luckystar-rewards.example");
    MailAddress ci = person("ci-bot", "builds@ci.northwind.example");
    MailAddress calendar = person("Calendar", "calendar-noreply@calendar.example");
};

StoredConfig sample_config(const char* display_name, const char* email, const char* domain, std::uint16_t smtp_port) {
    StoredConfig config;
    config.display_name = display_name;
    config.email = email;
    config.username = email;
    config.imap_host = std::string("imap.") + domain;
    config.imap_port = 993;
    config.imap_tls = true;
    config.smtp_host = std::string("smtp.") + domain;
    config.smtp_port = smtp_port;
    config.smtp_tls = true;
    config.auth = AuthMethod::Password;
    config.password = kPlaceholderPassword;
    return config;
}

MailAccount as_account(StoredConfig config) {
    MailAccount account;
    account.id = config.email;
    account.config = std::move(config);
    return account;
}

AttachmentRef listed_attachment(const char* name, const char* mime, std::uint64_t size) {
    // Listed but not downloaded: there is nothing to save.
    AttachmentRef a;
    a.file_name = name;
    a.mime_type = mime;
    a.size = size;
    return a;
}

struct Synthetic {
    FolderRole folder;
    std::int64_t age;
    bool seen;
    bool flagged;
    MailAddress from;
    std::vector<MailAddress> to;
    std::string subject;
    std::string body;
    std::vector<AttachmentRef> attachments;
};

MailMessage make(const Synthetic& s) {
    MailMessage m;
    m.id = new_stable_id();
    m.folder = s.folder;
    m.date = kSampleNow - s.age;
    m.seen = s.seen;
    m.flagged = s.flagged;
    m.from = s.from;
    m.to = s.to;
    m.subject = s.subject;
    m.body = s.body;
    m.attachments = s.attachments;
    return m;
}

std::vector<MailMessage> synthetic_messages(const Identities& p) {
    const std::string roadmap = "Q3 roadmap review \u2014 agenda";
    const MailAddress list{"rendering-dev@lists.example.org", std::nullopt};
    std::vector<Synthetic> table = {
        {FolderRole::Inbox, 143, true, true, p.maya, {p.you}, roadmap,
         "Hi all,\n\nAhead of Thursday, here is the agenda for the Q3 roadmap review:\n\n"
         "1. Spatial search: what shipped, what slipped\n2. Offline mode for the field app\n"
         "3. Hiring plan for the maps team\n\nPlease add anything I missed by Wednesday noon.\n\nMaya",
         {}},
        {FolderRole::Inbox, 107, true, false, p.tomas, {p.you, p.maya}, "Re: " + roadmap,
         "Could we give offline mode twenty minutes instead of ten? The sync story needs a real "
         "discussion.\n\n> 2. Offline mode for the field app\n\nTom\u00e1s",
         {}},
        {FolderRole::Inbox, 38, false, false, p.priya, {p.you, p.maya}, "Re: " + roadmap,
         "Agreed with Tom\u00e1s. I attached the draft roadmap with the offline milestones marked in "
         "yellow, so we can go through it on screen.\n\nPriya",
         {listed_attachment("roadmap-q3-draft.pdf", "application/pdf", 184'320)}},
        {FolderRole::Inbox, 14, false, false, p.ci, {p.you}, "Build failed: main #4821 (spatial-index)",
         "The pipeline for commit 9f3c2e1 failed in stage \"test\".\n\n"
         "  spatial_index_test ........ FAILED (3 of 212)\n\nThe full log is attached.",
         {listed_attachment("build-4821.log", "text/plain", 28'716)}},
        {FolderRole::Inbox, 300, true, true, p.jonas, {p.you}, "Spatial index: tile boundaries off by one?",
         "Hi,\n\nWhen I query the spatial index at zoom 14, features that sit exactly on a tile edge "
         "show up in both neighbours. The numbers are in the attached sheet.\n\nIs the boundary "
         "meant to be inclusive on both sides?\n\nJonas",
         {listed_attachment("tile-bounds.csv", "text/csv", 9'204)}},
        {FolderRole::Inbox, 3, false, false, p.aiko, {p.you}, "Coffee at 3?",
         "The new place on the corner finally opened. Coffee at 3?\n\nAiko", {}},
        {FolderRole::Inbox, 1'560, true, false, list, {p.you}, "Re: [PATCH v2] text: cache glyph runs per frame",
         "> +    if (cache.contains(run.key)) return cache.at(run.key);\n\n"
         "Looks good to me. One nit: the cache should be cleared when the font size changes, "
         "otherwise zooming shows stale glyphs.\n\nReviewed-by: a list member",
         {}},
        {FolderRole::Inbox, 540, false, false, p.calendar, {p.you},
         "Invitation: Design sync @ Thu Jul 2, 10:00 \u2013 10:30 (UTC)",
         "Maya Lindqvist invited you to \"Design sync\".\n\nWhen: Thursday, July 2, 10:00 \u2013 10:30 UTC\n"
         "Where: Room Kepler / video link in the invitation\n\nAccept or decline in your calendar.",
         {listed_attachment("invite.ics", "text/calendar", 1'842)}},
        {FolderRole::Sent, 50, true, false, p.you, {p.maya, p.tomas}, "Re: " + roadmap,
         "Twenty minutes for offline mode works for me. I moved hiring to the end.\n\n"
         "> Could we give offline mode twenty minutes instead of ten?",
         {}},
        {FolderRole::Sent, 270, true, false, p.you, {p.jonas}, "Re: Spatial index: tile boundaries off by one?",
         "Good catch. The upper edge should be exclusive; I will open a ticket and add your sheet "
         "as a test case.\n\n> Is the boundary meant to be inclusive on both sides?",
         {}},
        {FolderRole::Archive, 12'960, true, false, p.maya, {p.you}, "Onboarding notes",
         "Welcome aboard! The handbook is attached: accounts, the release calendar and who to ask "
         "about what. Your first week is mostly reading and one small bug.\n\nMaya",
         {listed_attachment("onboarding-handbook.pdf", "application/pdf", 512'000)}},
        {FolderRole::Junk, 420, false, false, p.rex, {p.you},
         "\U0001F389 Congratulations! You\u2019ve won a $1,000 LuckyStar gift card",
         "Dear valued customer,\n\nYou have been selected for an exclusive LuckyStar Rewards prize. "
         "Confirm your details within 24 hours to claim it.\n\nLuckyStar Rewards Ltd.",
         {}},
    };
    std::vector<MailMessage> out;
    out.reserve(table.size());
    for (const auto& s : table) out.push_back(make(s));
    // The conversation: 2 answers 1, 3 answers 2.
    out[0].message_id = "<q3-roadmap-1@northwind.example>";
    out[1].message_id = "<q3-roadmap-2@ferreira.example>";
    out[1].in_reply_to = out[0].message_id;
    out[2].message_id = "<q3-roadmap-3@example.org>";
    out[2].in_reply_to = out[1].message_id;
    return out;
}

constexpr const char* kTrainTickets =
    "From: Tomás Ferreira <tomas@ferreira.example>\r\n"
    "To: You <you@example.com>\r\n"
    "Subject: Train tickets for the offsite\r\n"
    "Message-ID: <offsite-tickets-0630@ferreira.example>\r\n"
    "Date: Tue, 30 Jun 2026 13:35:00 +0000\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "Hi,\r\n"
    "\r\n"
    "I booked the 08:12 train to Lisbon for all of us; seats are in coach 4.\r\n"
    "Bring ID, they check it at the gate. Lunch is on the company.\r\n"
    "The return leaves Friday at 17:40.\r\n"
    "\r\n"
    "Tomás\r\n";

constexpr const char* kVenueContract =
    "From: Priya Natarajan <priya.n@example.org>\r\n"
    "To: You <you@example.com>\r\n"
    "Subject: Signed venue contract\r\n"
    "Message-ID: <venue-contract-77@example.org>\r\n"
    "Date: Tue, 30 Jun 2026 07:05:00 +0000\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"=_varo_boundary_=\"\r\n"
    "\r\n"
    "--=_varo_boundary_=\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "Here is the signed contract for the venue. Deposit is paid,\r\n"
    "so we are all set for the offsite in September. Ping me with any\r\n"
    "questions.\r\n"
    "\r\n"
    "Priya N.\r\n"
    "--=_varo_boundary_=\r\n"
    "Content-Type: application/pdf; name=\"venue-contract.pdf\"\r\n"
    "Content-Disposition: attachment; filename=\"venue-contract.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0xLjQKJSBBIE1haWwgc2FtcGxlLCBub3QgYSByZWFsIGRvY3VtZW50Cg==\r\n"
    "--=_varo_boundary_=--\r\n";

constexpr const char* kNewsletter =
    "From: Orbit Weekly <newsletter@orbit-weekly.example>\r\n"
    "To: you@example.com\r\n"
    "Subject: Orbit Weekly #112: maps that load before you blink\r\n"
    "Message-ID: <issue-112@orbit-weekly.example>\r\n"
    "Date: Tue, 30 Jun 2026 13:13:00 +0000\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"=_varo_alt_=\"\r\n"
    "\r\n"
    "--=_varo_alt_=\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "This week: vector tiles, a faster glyph cache and a reader question.\r\n"
    "Read online: https://orbit-weekly.example/112\r\n"
    "--=_varo_alt_=\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<html><body style=\"font-family:Georgia,serif;color:#222\">\r\n"
    "<h1 style=\"color:#0b5fff\">Orbit Weekly #112</h1>\r\n"
    "<p>Maps that load <b>before you blink</b>:</p>\r\n"
    "<ul><li>Vector tiles in 40 KB</li><li>A faster glyph cache</li><li>Reader mailbag</li></ul>\r\n"
    "<blockquote style=\"border-left:3px solid #ccc;padding-left:8px\">Ship it small.</blockquote>\r\n"
    "<p><a href=\"https://orbit-weekly.example/112\">Read it online</a></p>\r\n"
    "<img src=\"https://track.orbit-weekly.example/o.gif?i=112\" width=\"1\" height=\"1\" alt=\"\">\r\n"
    "</body></html>\r\n"
    "--=_varo_alt_=--\r\n";

struct ParsedSample {
    std::string_view raw;
    std::int64_t age;
    bool seen;
    bool flagged;
};

}  // namespace

std::vector<MailAccount> sample_accounts() {
    return {as_account(sample_config("You", "you@example.com", "example.com", 465)),
            as_account(sample_config("You at Northwind Labs", "you@northwind.example", "northwind.example", 587))};
}

std::vector<std::string_view> sample_raw_messages() { return {kTrainTickets, kVenueContract, kNewsletter}; }

MailState build_sample_state() {
    const Identities people;
    MailState state(sample_accounts(), 0, kSampleNow);
    for (MailMessage& message : synthetic_messages(people)) state.insert_message(std::move(message));

    const ParsedSample parsed[] = {
        {kTrainTickets, 30, false, false},
        {kVenueContract, 420, true, false},
        {kNewsletter, 52, false, true},
    };
    for (const auto& sample : parsed) {
        auto message = parse_message(sample.raw, kSampleNow - sample.age, FolderRole::Inbox);
        if (!message) continue;  // a sample that does not parse is left out
        message->seen = sample.seen;
        message->flagged = sample.flagged;
        state.insert_message(std::move(*message));
    }

    // Start inside the first conversation that has at least two messages.
    const auto conversations = state.conversations(state.folder);
    state.selected.reset();
    for (const Conversation& c : conversations) {
        if (c.ids.size() >= 2) {
            state.selected = c.ids.back();
            break;
        }
    }
    if (!state.selected && !conversations.empty()) state.selected = conversations.front().ids.back();
    state.changed = true;
    return state;
}

}  // namespace mail::engine
