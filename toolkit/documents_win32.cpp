#include "toolkit/documents.h"

namespace toolkit {

// The shell's Documents folder (Qt asks SHGetKnownFolderPath), wherever the user has moved it;
// asking costs little, so nothing is kept.
QString documentsFolder() {
    return documentsAsked(documentsFailure());
}

} // namespace toolkit
