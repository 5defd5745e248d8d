#pragma once
// Placeholder: the per-security window tracker is being written.
#include "gaps/listing_analysis.h"

namespace vorn {

class CWindowsPerformer {
public:
    virtual ~CWindowsPerformer() = default;
};

} // namespace vorn
