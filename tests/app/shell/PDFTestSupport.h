#pragma once

// Small PDFs made in code for the tests of decks carried in PDFs.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/foundation/Format.h"

namespace memorant_test {

struct SmallPDF {
    std::string bytes;
    std::size_t startxref;  // offset of the cross-reference table
};

// A one-page PDF with a correct cross-reference table.
inline SmallPDF makeSmallPDF() {
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    const std::vector<std::string> objects = {
        "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n",
        "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n",
        "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>\nendobj\n",
    };
    std::vector<std::size_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(pdf.size());
        pdf += object;
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) pdf += stringWithFormat("%010ld 00000 n \n", static_cast<long>(offset));
    pdf += stringWithFormat("trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n%ld\n%%%%EOF\n", static_cast<long>(xref));
    return {pdf, xref};
}

}  // namespace memorant_test
