// vornctl feed: the announcement feed from both ends.
//   feed publish --out DIR ITEMS   writes the index and the item file from a plain list
//   feed --server HOST[:PORT] --once   fetches them once and lists what the agent holds
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "acquisition/intelligence_agent.h"
#include "acquisition/intelligence_writer.h"
#include "command.h"
#include "foundation/text_encoding.h"
#include "foundation/time_agent.h"

namespace vornctl {
namespace {

bool ParseMilliseconds(const std::string& text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

// One line per item: breaks, tabs and terminal controls in a subject become spaces.
std::string PrintableSubject(const std::string& cp932) {
    std::string text = vorn::Cp932ToUtf8(cp932);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return text;
}

vorn::PackedDateTime Now() {
    const vorn::LocalClock clock = vorn::TimeAgent().ReadLocalClock();
    return vorn::MakePackedDateTime(clock.year, clock.month, clock.day, clock.hour, clock.minute,
                                    clock.weekday > 6 ? 0 : clock.weekday);
}

int RunFeedPublish(int argc, char** argv) {
    const CArgs args(argc, argv);
    for (const char* other : {"server", "once"})
        if (args.Has(other))
            return UsageError(std::string("feed publish takes no --") + other);
    const auto out = args.Option("out");
    if (!out || out->empty() || args.Positionals().size() != 1)
        return UsageError("feed publish: expected --out DIR ITEMS");

    vorn::IntelligencePublication publication;
    publication.index.version = 1;
    publication.index.itemDirectory = args.Option("item-dir").value_or("Intelligence");
    if (auto directory = args.Option("directory"))
        publication.directory = *directory;
    if (auto kind = args.Option("kind"))
        publication.itemKind = *kind;
    if (auto stamp = args.Option("stamp")) {
        if (!vorn::ParseFeedDateTime(*stamp, publication.index.stamp))
            return UsageError("feed publish: --stamp takes YYYY/MM/DD HH:MM");
    } else {
        publication.index.stamp = Now();
    }
    if (auto intervals = args.Option("intervals")) {
        const auto comma = intervals->find(',');
        if (comma == std::string::npos ||
            !ParseMilliseconds(intervals->substr(0, comma), publication.index.intervalOther) ||
            !ParseMilliseconds(intervals->substr(comma + 1), publication.index.intervalFull))
            return UsageError("feed publish: --intervals takes OTHER,FULL in milliseconds");
    }

    const std::string& listPath = args.Positionals()[0];
    std::ifstream listFile(listPath, std::ios::binary);
    if (!listFile) {
        std::fprintf(stderr, "vornctl: feed publish: cannot read %s\n", listPath.c_str());
        return 1;
    }
    const std::string list((std::istreambuf_iterator<char>(listFile)), {});
    std::string error;
    if (!vorn::ParseIntelligenceList(list, publication.items, error)) {
        std::fprintf(stderr, "vornctl: feed publish: %s: %s\n", listPath.c_str(), error.c_str());
        return 1;
    }

    std::filesystem::path itemFile;
    const vorn::FeedPublishResult result =
        vorn::PublishIntelligenceFeed(*out, publication, &itemFile);
    if (result != vorn::kFeedPublishOk) {
        std::fprintf(stderr, "vornctl: feed publish: %s: %s\n", out->c_str(),
                     std::string(vorn::Describe(result)).c_str());
        VerboseResult("feed", vorn::ResultCode(result));
        return 1;
    }
    std::printf("%zu items in %s, stamp %s\n", publication.items.size(),
                itemFile.lexically_relative(*out).generic_string().c_str(),
                vorn::FormatDeliveredTime(publication.index.stamp).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RunFeedOnce(int argc, char** argv) {
    const CArgs args(argc, argv);
    for (const char* other : {"out", "item-dir", "stamp", "intervals"})
        if (args.Has(other))
            return UsageError(std::string("feed --once takes no --") + other);
    const auto server = args.Option("server");
    if (!server || server->empty() || !args.Has("once") || !args.Positionals().empty())
        return UsageError("expected --server HOST[:PORT] --once");

    vorn::CIntelligenceAgent agent;
    agent.GetHttpAgent().SetTimeouts(10000, 10000);
    const vorn::IntelligenceResult result = agent.FetchOnce(
        *server, args.Option("directory").value_or("vorn"), args.Option("kind").value_or("yid"));
    std::printf("result %u (%s)\n", vorn::ResultCode(result),
                std::string(vorn::Describe(result)).c_str());
    if (result != vorn::kIntelligenceNewItems)
        std::fprintf(stderr, "vornctl: feed: %s: %s\n", server->c_str(),
                     std::string(vorn::Describe(result)).c_str());
    for (const vorn::IntelligenceItem& item : agent.ListedItems(vorn::GetToday()))
        std::printf("%s\t%s\n", vorn::FormatDeliveredTime(item.delivered).c_str(),
                    PrintableSubject(item.subject).c_str());
    if (std::fflush(stdout) != 0)
        return 1;
    return result == vorn::kIntelligenceNewItems ? 0 : 1;
}

int RunFeed(int argc, char** argv) {
    if (argc >= 1 && std::string(argv[0]) == "publish")
        return RunFeedPublish(argc - 1, argv + 1);
    return RunFeedOnce(argc, argv);
}

const CommandRegistrar kRegisterFeed(
    {"feed",
     "feed publish --out DIR [--directory vorn] [--item-dir NAME] [--kind yid] "
     "[--stamp 'YYYY/MM/DD HH:MM'] [--intervals OTHER,FULL] ITEMS\n"
     "       vornctl feed --server HOST[:PORT] --once [--directory vorn] [--kind yid]",
     "writes the announcement feed (publish), or fetches it once and lists its items",
     {{"out", "DIR", "publish: the folder the index and item file are written into (required)"},
      {"directory", "NAME", "the feed's folder on the server (default vorn)"},
      {"item-dir", "NAME", "publish: the folder of the item files (default Intelligence)"},
      {"kind", "KIND", "the kind of feed, part of the file names (default yid)"},
      {"stamp", "'YYYY/MM/DD HH:MM'", "publish: the time the index announces (default: now)"},
      {"intervals", "OTHER,FULL", "publish: the polling intervals the index announces, in "
                                  "milliseconds"},
      {"server", "HOST[:PORT]", "fetch: the feed server (port 80 by default)"},
      {"once", nullptr, "fetch: fetch once and list the items (required for fetching)"}},
     "vornctl feed --server 127.0.0.1:8080 --once",
     "ITEMS is a plain list of announcements, one per line."},
    &RunFeed);

} // namespace
} // namespace vornctl
