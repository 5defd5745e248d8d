#pragma once
// A fake of the exchange's daily-data API on 127.0.0.1 (real HTTP), answering in the
// documented shapes for a small market: two pages per day, a no-trade day, a split and a
// reverse split, a preferred share, a lettered code, a delisted company, an ETF and a
// professional-market issue; a 429, a 500 and a refused TOPIX on request.
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace vorn::test {

inline constexpr const char* kJQuantsKey = "KEY-7f3a9c1e-RECOGNISABLE-0042";

inline const std::vector<std::string> kTradingDays = {"2024-03-01", "2024-03-04", "2024-03-05",
                                                      "2024-03-06", "2024-03-07"};

inline std::string Bar(const std::string& date, const std::string& code, const std::string& o,
                       const std::string& h, const std::string& l, const std::string& c,
                       const std::string& vo, const std::string& factor = "1.0") {
    return "{\"Date\":\"" + date + "\",\"Code\":\"" + code + "\",\"O\":" + o + ",\"H\":" + h +
           ",\"L\":" + l + ",\"C\":" + c + ",\"UL\":\"0\",\"LL\":\"0\",\"Vo\":" + vo +
           ",\"Va\":null,\"AdjFactor\":" + factor + ",\"AdjO\":" + o + ",\"AdjH\":" + h +
           ",\"AdjL\":" + l + ",\"AdjC\":" + c + ",\"AdjVo\":" + vo + "}";
}

inline std::string MasterRow(const std::string& date, const std::string& code,
                             const std::string& name, const std::string& s33,
                             const std::string& mkt, const std::string& mrgn,
                             const std::string& cat) {
    return "{\"Date\":\"" + date + "\",\"Code\":\"" + code + "\",\"CoName\":\"" + name +
           "\",\"CoNameEn\":\"X\",\"S17\":\"1\",\"S17Nm\":\"x\",\"S33\":\"" + s33 +
           "\",\"S33Nm\":\"x\",\"ScaleCat\":\"-\",\"Mkt\":\"" + mkt +
           "\",\"MktNm\":\"x\","
           "\"Mrgn\":\"" +
           mrgn + "\",\"MrgnNm\":\"x\",\"ProdCat\":\"" + cat + "\"}";
}

// The bars of one day, in two pages.
inline std::vector<std::vector<std::string>> BarsOf(const std::string& d) {
    std::vector<std::string> first, second;
    // 7203: 2-for-1 split effective 03-05 (prices halve).
    static const std::map<std::string, std::vector<std::string>> toyota = {
        {"2024-03-01", {"3600.0", "3650.0", "3580.0", "3640.0", "21000000"}},
        {"2024-03-04", {"3650", "3700", "3600", "3680", "2.1e7"}},
        {"2024-03-05", {"1850.0", "1860.0", "1830.0", "1845.0", "40000000"}},
        {"2024-03-06", {"1845", "1900", "1840", "1890", "35000000"}},
        {"2024-03-07", {"1890", "1895", "1870", "1880", "30000000"}}};
    const auto& t = toyota.at(d);
    first.push_back(
        Bar(d, "72030", t[0], t[1], t[2], t[3], t[4], d == "2024-03-05" ? "0.5" : "1.0"));
    // 336A (stored 16,384, past what the older 32-bit key fields held): prices with decimals.
    static const std::map<std::string, std::string> alnum = {{"2024-03-01", "1234.5"},
                                                             {"2024-03-04", "1240.0"},
                                                             {"2024-03-05", "1250.5"},
                                                             {"2024-03-06", "1260.0"},
                                                             {"2024-03-07", "1270.25"}};
    const std::string& a = alnum.at(d);
    first.push_back(Bar(d, "336A0", "\"" + a + "\"", a, a, a, "\"1000\""));
    // Preferred share: left out.
    first.push_back(Bar(d, "25935", "100", "100", "100", "100", "5"));
    // 1301: no trade on 03-04; 1-for-2 reverse split effective 03-06.
    if (d == "2024-03-04")
        second.push_back(Bar(d, "13010", "null", "null", "null", "null", "null"));
    else if (d < "2024-03-06")
        second.push_back(Bar(d, "13010", "500", "510", "495", "505", "1200"));
    else
        second.push_back(Bar(d, "13010", "1010", "1030", "1000", "1020", "600",
                             d == "2024-03-06" ? "2.0" : "1"));
    // 9999: delisted after 03-04.
    if (d <= "2024-03-04")
        second.push_back(Bar(d, "99990", "300", "310", "290", "305", "700"));
    // TOKYO PRO MARKET and an ETF: left out.
    second.push_back(Bar(d, "80010", "900", "900", "900", "900", "1"));
    second.push_back(Bar(d, "13060", "2500", "2510", "2490", "2505", "10000"));
    return {first, second};
}

struct LoggedRequest {
    std::string target; // path and query without the paging key
    int status = 0;
    std::string page; // the paging key, empty on a first page
};

// The fake service. Request numbers count from 1 over the server's life.
class CFakeService {
public:
    CFakeService() {
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Handle(req, res);
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~CFakeService() {
        server_.stop();
        thread_.join();
    }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v2"; }

    std::atomic<int> tooManyAt{3};
    std::atomic<int> failAt{5};
    std::atomic<int> dropAfter{1 << 30};
    std::atomic<int> failFrom{1 << 30}; // every request from this number on gets HTTP 500
    std::atomic<int> lastTradingDay{5}; // days of kTradingDays published

    std::vector<LoggedRequest> Log() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    int Requests() const { return count_; }
    std::set<std::string> KeysSeen() {
        std::lock_guard lock(mutex_);
        return keys_;
    }

private:
    void Reply(httplib::Response& res, LoggedRequest request, const std::string& body) {
        res.status = request.status;
        res.set_content(body, "application/json");
        std::lock_guard lock(mutex_);
        log_.push_back(std::move(request));
    }

    void Handle(const httplib::Request& req, httplib::Response& res) {
        const int number = ++count_;
        std::string target = req.path;
        std::string page;
        for (const auto& [name, value] : req.params) {
            if (name == "pagination_key")
                page = value;
            else
                target += (target == req.path ? "?" : "&") + name + "=" + value;
        }
        {
            std::lock_guard lock(mutex_);
            keys_.insert(req.get_header_value("x-api-key"));
        }
        if (number > dropAfter) {
            // Headers promise a body that never comes: the connection drops mid-answer.
            res.set_content_provider(
                1000, "application/json",
                [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
            std::lock_guard lock(mutex_);
            log_.push_back({target, -1, page});
            return;
        }
        if (req.get_header_value("x-api-key") != kJQuantsKey)
            return Reply(res, {target, 403, page},
                         "{\"message\":\"The incoming api key is invalid or expired.\"}");
        if (number == tooManyAt)
            return Reply(res, {target, 429, page}, "{\"message\":\"Too Many Requests\"}");
        if (number == failAt || number >= failFrom)
            return Reply(res, {target, 500, page}, "{\"message\":\"Internal Server Error\"}");
        const std::string path = req.path;
        if (path == "/v2/markets/calendar")
            return Reply(res, {target, 200, page},
                         Calendar(req.get_param_value("from"), req.get_param_value("to")));
        if (path == "/v2/equities/bars/daily") {
            const std::string date = req.get_param_value("date");
            const auto published = std::find(kTradingDays.begin(), kTradingDays.end(), date);
            if (published == kTradingDays.end() ||
                published - kTradingDays.begin() >= lastTradingDay)
                return Reply(res, {target, 200, page}, "{\"data\":[]}");
            const auto pages = BarsOf(date);
            if (page.empty())
                return Reply(res, {target, 200, page},
                             "{\"data\":[" + Join(pages[0]) + "],\"pagination_key\":\"k1." + date +
                                 ".\"}");
            return Reply(res, {target, 200, page}, "{\"data\":[" + Join(pages[1]) + "]}");
        }
        if (path == "/v2/equities/master")
            return Reply(res, {target, 200, page},
                         Master(req.get_param_value("code"), req.get_param_value("date")));
        if (path == "/v2/fins/summary")
            return Reply(res, {target, 200, page}, Statements(req.get_param_value("date")));
        if (path == "/v2/indices/bars/daily/topix")
            return Reply(res, {target, 403, page},
                         "{\"message\":\"This API is not available on your subscription plan.\"}");
        Reply(res, {target, 403, page}, "{\"message\":\"Missing Authentication Token\"}");
    }

    static std::string Join(const std::vector<std::string>& rows) {
        std::string out;
        for (const std::string& row : rows)
            out += (out.empty() ? "" : ",") + row;
        return out;
    }

    static std::string Calendar(const std::string& from, const std::string& to) {
        std::vector<std::string> rows;
        for (int day = 1; day <= 8; ++day) {
            const std::string date = "2024-03-0" + std::to_string(day);
            if (date < from || date > to)
                continue;
            const bool open =
                std::find(kTradingDays.begin(), kTradingDays.end(), date) != kTradingDays.end() ||
                date == "2024-03-08";
            rows.push_back("{\"Date\":\"" + date + "\",\"HolDiv\":\"" + (open ? "1" : "0") + "\"}");
        }
        return "{\"data\":[" + Join(rows) + "]}";
    }

    static std::string Master(const std::string& code, const std::string& date) {
        std::vector<std::string> rows;
        if (code.empty()) {
            rows = {MasterRow(date, "72030", "トヨタ自動車", "3700", "0111", "2", "011"),
                    MasterRow(date, "336A0", "ベリタス", "3250", "0113", "1", "011"),
                    MasterRow(date, "25935", "伊藤園優先", "3050", "0111", "2", "011"),
                    MasterRow(date, "13010", "極洋", "0050", "0111", "2", "011"),
                    MasterRow(date, "80010", "プロ銘柄", "6050", "0105", "3", "011"),
                    MasterRow(date, "13060", "ＴＯＰＩＸ連動ＥＴＦ", "9999", "0109", "3", "014")};
        } else if (code == "99990") {
            rows = {MasterRow(date, "99990", "消えた会社", "5250", "0112", "1", "011")};
        }
        return "{\"data\":[" + Join(rows) + "]}";
    }

    static std::string Statements(const std::string& date) {
        std::vector<std::string> rows;
        auto row = [&](const std::string& code, const std::string& shares) {
            rows.push_back("{\"DiscDate\":\"" + date + "\",\"DiscTime\":\"15:00:00\",\"Code\":\"" +
                           code +
                           "\",\"DiscNo\":\"1\",\"DocType\":\"x\",\"CurPerType\":\"3Q\","
                           "\"ShOutFY\":" +
                           shares + ",\"TrShFY\":\"\",\"AvgSh\":\"\"}");
        };
        if (date == "2024-03-01")
            row("72030", "\"16314987460\"");
        if (date == "2024-03-04")
            row("336A0", "\"\"");
        if (date == "2024-03-06")
            row("72030", "15794987460");
        if (date == "2024-03-07")
            row("13010", "null");
        return "{\"data\":[" + Join(rows) + "]}";
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<int> count_{0};
    std::mutex mutex_;
    std::vector<LoggedRequest> log_;
    std::set<std::string> keys_;
};

} // namespace vorn::test
