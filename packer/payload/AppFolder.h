// The files of an application folder in payload order, each with its payload name.
//
// Order: the main program first; then the other files directly in the folder; then the files in
// subfolders. Within each group, names are sorted by their components, each compared unit by
// unit as UTF-16 (so "B.txt" before "a.txt", and everything in "data" before anything in
// "data2"). The order depends on the names alone, never on the order the system lists them in.
//
// What the folder may hold, since every name must become a file on Windows unchanged:
// - regular files and folders; a symbolic link to a file counts as that file (its content, under
//   the link's own name); a symbolic link to a folder, a dangling link and any other kind of
//   entry (device, pipe, socket) are refused;
// - names that are well-formed Unicode (UTF-8 on Linux) and that Windows can hold: no control
//   characters, none of < > : " / \ | ? *, no trailing dot or space, no device name (CON, PRN,
//   AUX, NUL, COM0-9, LPT0-9, COM and LPT with ¹ ² ³, also with an extension); the rule is the
//   core's (FileNameRules.h), which the payload readers apply too;
// - no two names in one folder that differ only in letter case, which Windows would make one file:
//   compared as Windows compares names, each UTF-16 unit in its simple upper case (NameCase.h),
//   so "é.txt" and "É.txt" are one name, as are "ǅ", "ǆ" and "Ǆ";
// - payload names ("\" between components) of at most 1023 UTF-16 units, and at most
//   kSeenNamesLimit files (SeenNames.h), the most the launcher takes.
// Empty folders are not carried (the payload has no folder records).
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

constexpr size_t kMaximumNameUnits = 1023;

struct AppFile {
  std::filesystem::path path;  // on disk
  std::u16string name;         // in the payload
  uint64_t size = 0;           // when the folder was read
  bool executable = false;     // the folder marks it as a program (ownerMayExecute)
};

// What a symbolic link in the folder is: the file it leads to (the Windows launcher, which has no
// links to carry), or refused (the Linux launcher, which carries no links and must not turn one
// into a copy of what it pointed at).
enum class LinkRule { followFileLinks, refuse };

// Throws PackError for a folder that cannot be read, an entry of the kinds above, and a main
// program that is not a file of the folder. `main_relative` uses "/" (or "\") between components;
// it is matched exactly, else without regard to letter case as Windows matches names. A ".."
// component is refused, even where the path would lead back into the folder.
std::vector<AppFile> collectAppFiles(const std::filesystem::path& folder, const std::string& main_relative,
                                     LinkRule links = LinkRule::followFileLinks);

// Why Windows cannot hold this file name (one component), or empty when it can.
std::string windowsNameProblem(const std::u16string& component);

// A name or payload path as Windows compares it: each unit in its simple upper case, "/" as "\".
// Two names Windows takes for one file fold alike.
std::u16string foldedLikeWindows(std::u16string name);
