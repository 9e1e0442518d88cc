#pragma once

#include <string>

namespace quillon {

// Keeps the file type of encrypted files (*.qvr, magic "QVR4"/"QVR5") registered for the user:
// writes the shared-mime-info package "quillon-qvr.xml" under $XDG_DATA_HOME/mime/packages
// (default ~/.local/share) when it is missing or differs, then refreshes the MIME database with
// update-mime-database when that program exists. Every failure is ignored.
void RegisterEncryptedFileType();

// The package text that RegisterEncryptedFileType writes.
std::string EncryptedFileTypePackage();

}  // namespace quillon
