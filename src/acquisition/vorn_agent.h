#pragma once
// The application's announcement agent. Constructing it opens the log channel that the
// gap tracker's dumps go to, "Agent.inf" beside the program.
#include <cstdint>
#include <filesystem>

#include "acquisition/intelligence_agent.h"

namespace vorn {

constexpr std::uint8_t kAgentLogChannel = 1;
inline constexpr char kAgentLogName[] = "Agent.inf";

class CVornAgent final : public CIntelligenceAgent {
public:
    // An empty directory opens no log (tools that do not want one).
    explicit CVornAgent(const std::filesystem::path& programDirectory);
};

} // namespace vorn
