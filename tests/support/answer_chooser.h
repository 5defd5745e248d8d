#pragma once
// A package chooser for start-up tests: gives a fixed answer and records what it was offered.
#include <cstddef>

#include "acquisition/startup_sequence.h"

namespace vorn::test {

class CAnswerChooser final : public IPackageChooser {
public:
    explicit CAnswerChooser(unsigned answer) : answer_(answer) {}
    unsigned ChoosePackage(const MatrixIndex& index) override {
        ++calls;
        offered = index.packages.size();
        return answer_;
    }
    int calls = 0;
    std::size_t offered = 0;

private:
    unsigned answer_;
};

} // namespace vorn::test
