#pragma once
// The announcement feed: a worker that polls the feed server's index, downloads the current
// item file when the index names a newer one, keeps the items under a lock for the list
// window and tells the owner window by posted messages.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/http_agent.h"
#include "acquisition/intelligence_foundation.h"
#include "acquisition/intelligence_index.h"
#include "foundation/result_code.h"

namespace vorn {

// Results of a polling cycle, of FetchOnce and of Start.
enum class IntelligenceResult : std::uint8_t {
    NewItems = 0,
    NothingNew = 1,
    StillConnected = 2,
    NoConnection = 3,
    IndexNotFetched = 4,
    IndexInvalid = 5,
    ItemsNotFetched = 6,
    ItemsInvalid = 8,
    NoSession = 252,
    AlreadyRunning = 253,
    NoWorker = 255,
};

// The short names used throughout the module.
inline constexpr IntelligenceResult kIntelligenceNewItems = IntelligenceResult::NewItems;
inline constexpr IntelligenceResult kIntelligenceNothingNew = IntelligenceResult::NothingNew;
inline constexpr IntelligenceResult kIntelligenceStillConnected =
    IntelligenceResult::StillConnected;
inline constexpr IntelligenceResult kIntelligenceNoConnection = IntelligenceResult::NoConnection;
inline constexpr IntelligenceResult kIntelligenceIndexNotFetched =
    IntelligenceResult::IndexNotFetched;
inline constexpr IntelligenceResult kIntelligenceIndexInvalid = IntelligenceResult::IndexInvalid;
inline constexpr IntelligenceResult kIntelligenceItemsNotFetched =
    IntelligenceResult::ItemsNotFetched;
inline constexpr IntelligenceResult kIntelligenceItemsInvalid = IntelligenceResult::ItemsInvalid;
inline constexpr IntelligenceResult kIntelligenceNoSession = IntelligenceResult::NoSession;
inline constexpr IntelligenceResult kIntelligenceAlreadyRunning =
    IntelligenceResult::AlreadyRunning;
inline constexpr IntelligenceResult kIntelligenceNoWorker = IntelligenceResult::NoWorker;

// The words a user reads for a result.
std::string_view Describe(IntelligenceResult result);

// True for an address whose scheme is http or https (either case) followed by "://" and a
// host, with no spaces or control characters: the only web addresses an item may open.
bool IsOpenableWebAddress(std::string_view address);

class CIntelligenceAgent : public CIntelligenceFoundation {
public:
    static constexpr std::uint32_t kFirstPollIntervalMs = 18000;
    static constexpr std::uint8_t kFailureLimit = 5;
    // Bounds on the interval an index may ask for: a zero would have every client hammer
    // the server, a huge one would never poll again.
    static constexpr std::uint32_t kShortestPollIntervalMs = 1000;
    static constexpr std::uint32_t kLongestPollIntervalMs = 86400000;
    // How long the main window waits for the worker when it closes.
    static constexpr int kCloseWaitMs = 15000;
    static constexpr char kFullKindName[] = "yid";

    CIntelligenceAgent();
    ~CIntelligenceAgent() override;

    // --- Operations in slot order, after those of CIntelligenceFoundation ---
    // Configure its time-outs before Start; the worker owns it while it runs.
    virtual CHttpAgent& GetHttpAgent() { return http_; }
    // Starts polling for `owner`. Without an owner, fetches once on the calling thread and
    // returns that result. kIntelligenceAlreadyRunning (posted as kFeedEnded too) when a
    // worker runs; kIntelligenceNoWorker when the thread could not be created.
    virtual IntelligenceResult Start(IMessageSink* owner);
    // One index and item file download from `host` regardless of the held stamp. Opens a
    // session for the call when none is open. kIntelligenceAlreadyRunning while the worker
    // runs; kIntelligenceNoConnection also for an unusable host, directory or kind.
    virtual IntelligenceResult FetchOnce(const std::string& host, const std::string& directory,
                                         const std::string& kind);
    virtual bool FormatItemUrlOwn(std::string& output, const IntelligenceItem& item,
                                  bool secure) const;
    // The address an item leads to: "http(s)://host/link" for a server page, the link itself
    // for a web address, nothing otherwise. False when the output is empty.
    virtual bool FormatItemUrl(std::string& output, std::string_view host,
                               const IntelligenceItem& item, bool secure) const;
    virtual bool IsFullKindName(std::string_view kind) const;
    virtual bool IsFullKind() const { return fullKind_; }

    // --- Configuration, refused (false) while the worker runs or for unusable values ---
    // "host" or "host:port" (port 80 when none); empty leaves the agent without a server.
    bool SetServerHost(std::string host);
    // Folder on the server that holds the index; may be empty.
    bool SetDirectory(std::string directory);
    bool SetItemKind(std::string kind);
    // The interval before the first index has been read, and the shortest one an index may
    // set (tests poll fast).
    bool SetPollTiming(std::uint32_t firstIntervalMs, std::uint32_t shortestIntervalMs);
    const std::string& ServerHost() const { return serverHost_; }
    const std::string& Directory() const { return directory_; }
    const std::string& ItemKind() const { return itemKind_; }

    // --- State, safe from any thread ---
    std::uint32_t PollInterval() const { return pollInterval_; }
    std::uint32_t FailureCount() const;
    PackedDateTime Stamp() const;
    // The announcement list's rows for `today` (see CIntelligenceIndex::ListedItems).
    std::vector<IntelligenceItem> ListedItems(PackedDate today) const;
    bool FindItem(std::uint32_t id, IntelligenceItem& item) const;
    std::size_t ItemCount() const;

private:
    void PollLoop();
    IntelligenceResult RunCycle();
    // The transfers of one cycle; the caller holds transferMutex_ and the session.
    IntelligenceResult Exchange(const std::string& host, const std::string& directory,
                                const std::string& kind, bool onlyNewer);
    std::uint32_t BoundedInterval(std::uint32_t intervalMs) const;

    std::mutex transferMutex_; // guards http_ and response_
    CHttpAgent http_;
    GrowableBuffer response_;

    // Written only while no worker runs.
    std::string serverHost_;
    std::string directory_;
    std::string itemKind_;
    std::uint32_t shortestInterval_ = kShortestPollIntervalMs;
    std::atomic<bool> fullKind_{false};
    std::atomic<std::uint32_t> pollInterval_{kFirstPollIntervalMs};

    mutable std::mutex itemsMutex_; // guards index_ and failureCount_
    CIntelligenceIndex index_;
    std::uint32_t failureCount_ = 0;
};

} // namespace vorn
