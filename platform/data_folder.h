// Finding the data/ folder with the program's pictures and sounds: the current folder's first,
// then the one beside the executable, then the one an installation puts under share/.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The folders to try, in order, for a program started in current_folder from executable_folder
// (either may be "" when unknown, and is then left out).
std::vector<std::string> DataFolderCandidates(const std::string& current_folder,
                                              const std::string& executable_folder);

// The first candidate that holds the program's data. False with one line naming every folder
// tried and why each was passed over (the operating system's reason where it gave one).
bool FindDataFolder(const std::vector<std::string>& candidates, std::string* found,
                    std::string* failure);

// Makes the folder holding data_folder current, so that the program's "data/..." names find it.
bool EnterDataFolder(const std::string& data_folder, std::string* why);

}  // namespace platform
