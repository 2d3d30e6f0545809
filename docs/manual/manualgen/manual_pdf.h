#pragma once

#include "screenshots.h"

#include <QString>

namespace manualgen {

// Writes the manual as an A4 PDF: a title page, a table of contents, then the Markdown text
// with its pictures, every chapter on a new page, under a running header and page numbers.
// Returns the number of pages written.
int writeManualPdf(const QString& markdown, const Pictures& pictures, const QString& pdfPath,
                   const QString& version);

} // namespace manualgen
