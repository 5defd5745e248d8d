// Placeholder: the content file writer and reader are being written.
#include "matrix/matrix_file.h"

#include "matrix/restore_context.h"

namespace vorn {

std::uint8_t CMarketMatrix::Generate(const std::filesystem::path&, CEvent*) { return 13; }
std::uint8_t CMarketMatrix::RestoreSections() { return 255; }
void CMarketMatrix::ReadSections() {}
bool CMarketMatrix::OpenFile(const std::filesystem::path&, bool) { return false; }
bool CMarketMatrix::WriteHeader(MatrixHeader&) { return false; }
bool CMarketMatrix::WriteCalendar(MatrixHeader&) { return false; }
bool CMarketMatrix::WriteCompanies(MatrixHeader&) { return false; }
bool CMarketMatrix::WriteSecurities() { return false; }
std::uint8_t CMarketMatrix::WritePriceBlocks(std::uint16_t, MatrixHeader&) { return 18; }
bool CMarketMatrix::ReadHeader() { return false; }
bool CMarketMatrix::RestoreCalendar(const SectionBuffer&) { return false; }
bool CMarketMatrix::RestoreCompanies(const SectionBuffer&) { return false; }
bool CMarketMatrix::RestoreCompanyTexts(const SectionBuffer&) { return false; }
bool CMarketMatrix::RestoreCompanyHistories(const SectionBuffer&) { return false; }
bool CMarketMatrix::RestoreSecurities(const SectionBuffer&) { return false; }
bool CMarketMatrix::RestorePrices(const SectionBuffer&, SecurityKey&) { return false; }

std::uint8_t RestoreMatrix(CMarketMatrix& matrix, const std::filesystem::path&, CEvent*,
                           IMessageSink*) {
    matrix.Clear();
    return 13;
}

std::uint8_t GenerateMatrix(CMarketMatrix&, const std::filesystem::path&, CEvent*, CEvent*) {
    return 13;
}

} // namespace vorn
