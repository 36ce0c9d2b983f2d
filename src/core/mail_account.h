#pragma once
#include <cstdint>
#include <string>

#include "core/stored_config.h"

namespace mail {

// One entry of the account list.
struct MailAccount {
    std::string id;
    StoredConfig config;  // with its in-memory password
    bool collapsed = false;
    std::uint8_t avatar_seed = 0;  // read from the registry record and written back unchanged
    friend bool operator==(const MailAccount&, const MailAccount&) = default;
};

}  // namespace mail
