#pragma once
// Restoring the content file a command reads, and the messages when it or a security in it
// is not there.
#include <cstdio>
#include <string>

#include "command.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "progress_line.h"

namespace vornctl {

// Restores `path`; on failure prints "vornctl: PATH: reason" (the result code too with
// --verbose) and returns false.
inline bool RestoreOrReport(vorn::CMarketMatrix& matrix, const std::string& path) {
    vorn::MatrixFailure failure;
    vorn::MatrixResult result;
    {
        CProgressLine line; // erased before any message
        CProgressSink sink(line, "reading " + path);
        result = vorn::RestoreMatrix(matrix, path, nullptr, &sink, &failure);
    }
    if (result == vorn::kMatrixOk)
        return true;
    std::fprintf(stderr, "vornctl: %s: %s\n", path.c_str(),
                 vorn::DescribeFailure(failure).c_str());
    VerboseResult("matrix", vorn::ResultCode(failure.result));
    return false;
}

// "no security 9999 on market 1 in data/Market.kbx"; returns 1.
inline int NoSecurity(unsigned code, unsigned market, const std::string& path) {
    return Failure("no security " + vorn::FormatStockCode(code) + " on market " +
                   std::to_string(market) + " in " + path);
}

} // namespace vornctl
