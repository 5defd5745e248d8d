#pragma once
// The agent for plain HTTP GETs: one connection to one server, bodies delivered as sent,
// whatever the status (the reader of the data judges it).
#include "foundation/agency.h"

namespace vorn {

class CHttpAgent : public CAgent {
public:
    // The request flags of every fetch: fresh from the server, nothing cached.
    static constexpr std::uint32_t kFetchFlags = kRequestReload | kRequestNoCacheWrite;

    // The body replaces the buffer's contents; its capacity is kept and grown as needed.
    bool FetchToBuffer(GrowableBuffer& buffer, const std::string& objectName) override;
    bool FetchToFile(const std::filesystem::path& path, const std::string& objectName,
                     FileHandle* out) override;
    std::uint16_t GetPort() const override { return 80; }
    std::uint32_t GetService() const override { return kServiceHttp; }
};

} // namespace vorn
