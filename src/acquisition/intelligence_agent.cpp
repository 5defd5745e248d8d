#include "acquisition/intelligence_agent.h"

#include <algorithm>
#include <cctype>

namespace vorn {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool IsUsableHost(std::string_view server) {
    std::string host;
    std::uint16_t port = 0;
    return server.size() < kItemDirectoryCapacity && SplitServerHost(server, 80, host, port);
}

std::string JoinServerPath(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

} // namespace

bool IsOpenableWebAddress(std::string_view address) {
    std::size_t schemeLength = 0;
    if (StartsWithNoCase(address, "https://"))
        schemeLength = 8;
    else if (StartsWithNoCase(address, "http://"))
        schemeLength = 7;
    else
        return false;
    const std::string_view rest = address.substr(schemeLength);
    if (rest.empty() || rest.front() == '/' || rest.front() == '?' || rest.front() == '#')
        return false;
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F || c == '\\';
    });
}

CIntelligenceAgent::CIntelligenceAgent() = default;

CIntelligenceAgent::~CIntelligenceAgent() {
    // The worker uses this object's members; it must be gone before they are.
    Stop(kCloseWaitMs);
}

std::string_view Describe(IntelligenceResult result) {
    switch (result) {
    case IntelligenceResult::NewItems:
        return "items loaded";
    case IntelligenceResult::NothingNew:
        return "nothing new";
    case IntelligenceResult::StillConnected:
        return "still connected";
    case IntelligenceResult::NoConnection:
        return "no connection";
    case IntelligenceResult::IndexNotFetched:
        return "index not downloaded";
    case IntelligenceResult::IndexInvalid:
        return "index invalid";
    case IntelligenceResult::ItemsNotFetched:
        return "item file not downloaded";
    case IntelligenceResult::ItemsInvalid:
        return "item file invalid";
    case IntelligenceResult::NoSession:
        return "session not opened";
    case IntelligenceResult::AlreadyRunning:
        return "the feed is already being polled";
    case IntelligenceResult::NoWorker:
        return "the polling thread could not be started";
    }
    return "failed";
}

IntelligenceResult CIntelligenceAgent::Start(IMessageSink* owner) {
    if (IsRunning()) {
        if (owner != nullptr)
            owner->Post(kMsgIntelligence, kFeedEnded, ResultCode(kIntelligenceAlreadyRunning));
        else
            PostToOwner(kFeedEnded, ResultCode(kIntelligenceAlreadyRunning));
        return kIntelligenceAlreadyRunning;
    }
    fullKind_ = IsFullKindName(itemKind_);
    if (owner == nullptr)
        return FetchOnce(serverHost_, directory_, itemKind_);
    {
        std::lock_guard lock(itemsMutex_);
        failureCount_ = 0;
    }
    http_.SetCancelEvent(&StopEvent());
    if (!LaunchWorker(owner, [this] { PollLoop(); })) {
        http_.SetCancelEvent(nullptr);
        owner->Post(kMsgIntelligence, kFeedEnded, ResultCode(kIntelligenceNoWorker));
        return kIntelligenceNoWorker;
    }
    return kIntelligenceNewItems;
}

void CIntelligenceAgent::PollLoop() {
    IntelligenceResult result = kIntelligenceNewItems;
    for (;;) {
        result = RunCycle();
        if (result == kIntelligenceNewItems || result == kIntelligenceNothingNew) {
            if (result == kIntelligenceNewItems)
                PostToOwner(kFeedNewItems, 0);
            std::lock_guard lock(itemsMutex_);
            failureCount_ = 0;
        } else if (StopEvent().IsSet()) {
            // Cut short by a stop request (its transfer was abandoned): not the server's
            // failure, and the owner is going away.
            break;
        } else {
            PostToOwner(kFeedCycleFailed, ResultCode(result));
            std::lock_guard lock(itemsMutex_);
            if (++failureCount_ >= kFailureLimit)
                StopEvent().Set();
        }
        if (StopEvent().Wait(static_cast<int>(pollInterval_.load())))
            break;
    }
    {
        std::lock_guard transfer(transferMutex_);
        http_.SetCancelEvent(nullptr);
    }
    PostToOwner(kFeedEnded, ResultCode(result));
}

IntelligenceResult CIntelligenceAgent::RunCycle() {
    std::lock_guard transfer(transferMutex_);
    if (!OpenAndRun())
        return kIntelligenceNoSession;
    const IntelligenceResult result = Exchange(serverHost_, directory_, itemKind_, true);
    CloseSession();
    return result;
}

IntelligenceResult CIntelligenceAgent::FetchOnce(const std::string& host,
                                                 const std::string& directory,
                                                 const std::string& kind) {
    if (IsRunning())
        return kIntelligenceAlreadyRunning;
    std::lock_guard transfer(transferMutex_);
    if (!IsUsableHost(host) || !IsPlainFeedFolder(directory) || !IsPlainItemKind(kind))
        return kIntelligenceNoConnection;
    const bool ownSession = !IsSessionOpen();
    if (ownSession && !OpenSession())
        return kIntelligenceNoSession;
    const IntelligenceResult result = Exchange(host, directory, kind, false);
    if (ownSession)
        CloseSession();
    return result;
}

IntelligenceResult CIntelligenceAgent::Exchange(const std::string& host,
                                                const std::string& directory,
                                                const std::string& kind, bool onlyNewer) {
    if (http_.IsConnected()) {
        http_.Disconnect();
        return kIntelligenceStillConnected;
    }
    if (!Connect(http_, host))
        return kIntelligenceNoConnection;

    IntelligenceResult result = kIntelligenceNothingNew;
    IntelligenceIndexHeader header;
    PackedDateTime heldStamp = 0;
    if (!http_.FetchToBuffer(response_, JoinServerPath(directory, index_.GetIndexName()))) {
        result = kIntelligenceIndexNotFetched;
    } else if (!DecodeIntelligenceIndex({response_.data.get(), response_.length}, header)) {
        result = kIntelligenceIndexInvalid;
    } else {
        {
            std::lock_guard lock(itemsMutex_);
            heldStamp = index_.Stamp();
            index_.ApplyHeader(header);
        }
        pollInterval_ =
            BoundedInterval(IsFullKindName(kind) ? header.intervalFull : header.intervalOther);
        if (!onlyNewer || header.stamp > heldStamp) {
            std::string itemPath = directory.empty() ? std::string() : directory + "/";
            if (!header.itemDirectory.empty())
                itemPath += header.itemDirectory + "/";
            itemPath += FormatItemFileName(header.stamp, kind);
            if (!http_.FetchToBuffer(response_, itemPath)) {
                result = kIntelligenceItemsNotFetched;
            } else {
                std::lock_guard lock(itemsMutex_);
                if (index_.LoadItems({response_.data.get(), response_.length}) ==
                    ItemLoadResult::Loaded) {
                    // Only a file taken in completely counts as seen, so a failed or
                    // damaged download is tried again at the next cycle.
                    index_.SetStamp(header.stamp);
                    result = kIntelligenceNewItems;
                } else {
                    result = kIntelligenceItemsInvalid;
                }
            }
        }
    }
    http_.Disconnect();
    return result;
}

std::uint32_t CIntelligenceAgent::BoundedInterval(std::uint32_t intervalMs) const {
    return std::clamp(intervalMs, shortestInterval_, kLongestPollIntervalMs);
}

bool CIntelligenceAgent::FormatItemUrlOwn(std::string& output, const IntelligenceItem& item,
                                          bool secure) const {
    return FormatItemUrl(output, serverHost_, item, secure);
}

bool CIntelligenceAgent::FormatItemUrl(std::string& output, std::string_view host,
                                       const IntelligenceItem& item, bool secure) const {
    output.clear();
    if (item.link.empty())
        return false;
    if (item.linkType == kLinkServerPage) {
        if (!IsUsableHost(host))
            return false;
        output.assign(secure ? "https://" : "http://").append(host);
        // A path that does not start at the root would run into the host name and could
        // name another server ("@elsewhere", ".elsewhere").
        if (item.link.front() != '/')
            output.push_back('/');
        output.append(item.link);
    } else if (item.linkType == kLinkWebAddress) {
        output = item.link;
    }
    return !output.empty();
}

bool CIntelligenceAgent::IsFullKindName(std::string_view kind) const {
    return kind.size() == sizeof kFullKindName - 1 && StartsWithNoCase(kind, kFullKindName);
}

bool CIntelligenceAgent::SetServerHost(std::string host) {
    if (IsRunning() || (!host.empty() && !IsUsableHost(host)))
        return false;
    serverHost_ = std::move(host);
    return true;
}

bool CIntelligenceAgent::SetDirectory(std::string directory) {
    if (IsRunning() || !IsPlainFeedFolder(directory))
        return false;
    directory_ = std::move(directory);
    return true;
}

bool CIntelligenceAgent::SetItemKind(std::string kind) {
    if (IsRunning() || !IsPlainItemKind(kind))
        return false;
    itemKind_ = std::move(kind);
    return true;
}

bool CIntelligenceAgent::SetPollTiming(std::uint32_t firstIntervalMs,
                                       std::uint32_t shortestIntervalMs) {
    if (IsRunning() || shortestIntervalMs == 0 || shortestIntervalMs > kLongestPollIntervalMs)
        return false;
    shortestInterval_ = shortestIntervalMs;
    pollInterval_ = BoundedInterval(firstIntervalMs);
    return true;
}

std::uint32_t CIntelligenceAgent::FailureCount() const {
    std::lock_guard lock(itemsMutex_);
    return failureCount_;
}

PackedDateTime CIntelligenceAgent::Stamp() const {
    std::lock_guard lock(itemsMutex_);
    return index_.Stamp();
}

std::vector<IntelligenceItem> CIntelligenceAgent::ListedItems(PackedDate today) const {
    std::lock_guard lock(itemsMutex_);
    return index_.ListedItems(today);
}

bool CIntelligenceAgent::FindItem(std::uint32_t id, IntelligenceItem& item) const {
    std::lock_guard lock(itemsMutex_);
    const auto found = index_.Items().find(id);
    if (found == index_.Items().end())
        return false;
    item = found->second;
    return true;
}

std::size_t CIntelligenceAgent::ItemCount() const {
    std::lock_guard lock(itemsMutex_);
    return index_.Items().size();
}

} // namespace vorn
