#pragma once

#include <string>

// The app's container folders, all under one root: Documents, Library,
// Library/Caches, Library/Application Support and tmp. The root is
// MEMORANT_HOME when set, else the XDG data folder's "Memorant"
// ($XDG_DATA_HOME or ~/.local/share). Tests point it at a temporary folder.
// Folders are created on first use.
namespace AppContainer {
std::string root();
void setRoot(const std::string& path);  // "" goes back to the default
std::string documentsDirectory();
std::string libraryDirectory();
std::string cachesDirectory();
std::string applicationSupportDirectory();
std::string temporaryDirectory();
}  // namespace AppContainer
