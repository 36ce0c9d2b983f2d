#pragma once
// The shared mail data model in one include.
#include "core/conversations.h"
#include "core/engine_request.h"
#include "core/folder_role.h"
#include "core/list_search.h"
#include "core/mail_account.h"
#include "core/mail_message.h"
#include "core/mail_state.h"
#include "core/mailbox.h"
#include "core/pane_command.h"
#include "core/stable_id.h"
#include "core/storage_root.h"
#include "core/stored_config.h"
