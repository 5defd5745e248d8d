#pragma once
// The command identifiers of the shell.
#include <cstdint>

#include "foundation/message_sink.h"
#include "ui_base/command_id.h"
