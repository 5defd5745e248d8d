#include "acquisition/vorn_agent.h"

#include "foundation/log_channels.h"

namespace vorn {

CVornAgent::CVornAgent(const std::filesystem::path& programDirectory) {
    // The agent writes nothing itself; a channel already open (a second agent) stays as it
    // is.
    if (!programDirectory.empty())
        OpenLogChannel(kAgentLogChannel, programDirectory / kAgentLogName);
}

} // namespace vorn
