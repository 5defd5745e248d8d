#include "acquisition/http_agent.h"

namespace vorn {

bool CHttpAgent::FetchToBuffer(GrowableBuffer& buffer, const std::string& objectName) {
    RequestHandle request = OpenRequest("GET", objectName, kFetchFlags);
    if (request == nullptr || !SendRequest(*request))
        return false;
    buffer.length = 0;
    return ReadToBuffer(buffer, *request);
}

bool CHttpAgent::FetchToFile(const std::filesystem::path& path, const std::string& objectName,
                             FileHandle* out) {
    if (out != nullptr)
        out->reset();
    RequestHandle request = OpenRequest("GET", objectName, kFetchFlags);
    if (request == nullptr || !SendRequest(*request))
        return false;
    return ReadToFile(path, *request, out);
}

} // namespace vorn
