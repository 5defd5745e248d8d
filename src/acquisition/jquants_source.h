#pragma once
// The exchange's daily-data API as the market source of start-up: the profile values that
// choose and configure it, the build options read from them, and the words the start-up
// window shows while it fetches.
#include <filesystem>
#include <string>

#include "acquisition/jquants_build.h"
#include "foundation/profile.h"

namespace vorn {

// "sample", "jquants", "server" or "csv"; empty until chosen.
inline constexpr char kProfileDataSource[] = "DataSource";
// "free", "light", "standard" or "premium".
inline constexpr char kProfileJQuantsPlan[] = "JQuantsPlan";
// Another server for the API (a local test server); empty: the service itself.
inline constexpr char kProfileJQuantsBaseUrl[] = "JQuantsBaseUrl";
// Requests per minute instead of the plan's limit (0: the plan's).
inline constexpr char kProfileJQuantsRate[] = "JQuantsRate";

inline constexpr char kDataSourceSample[] = "sample";
inline constexpr char kDataSourceJQuants[] = "jquants";
inline constexpr char kDataSourceServer[] = "server";
inline constexpr char kDataSourceCsv[] = "csv";

// The plan, pace, server and key of the profile and the key file in `dataDirectory`. False
// with `error` (never holding the key) when the plan is unknown or there is no usable key.
bool ReadJQuantsSource(IProfile& profile, const std::filesystem::path& dataDirectory,
                       JQuantsBuildOptions& options, std::string& error);

// "J-Quants API: 日足 2024/03/05 [取得 12 件, 残り 30 件, 約 5 分]".
std::string FormatJQuantsProgress(const JQuantsProgress& progress);
// The step bar of a fetch: requests done out of done and left, 0..100.
long JQuantsPercent(const JQuantsProgress& progress);
// Where a failure happened, for the user: the server's host and path before `error`.
std::string DescribeJQuantsFailure(const std::string& baseUrl, const std::string& error,
                                   const std::string& key);

} // namespace vorn
