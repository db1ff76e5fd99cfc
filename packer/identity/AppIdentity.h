// Who a packed application is: product name, version, company, description and copyright, the
// extraction directory template, and how many other builds a start keeps. Taken from the pack
// options, else from the main program's version resource, else from fixed fallbacks; checked by
// the launcher's own rules before anything is written, so that every start can use them.
//
//   value        option         else from the main program   else
//   name         --name         ProductName                  the output's file name without ".exe"
//   version      --version      ProductVersion, else its     "1.0"
//                               fixed product version
//   company      --company      CompanyName                  none
//   description  --description  FileDescription              the name
//   copyright    --copyright    LegalCopyright               none
//   template     --extract-to   -                            "{CACHE_DIR}\{PRODUCT}\{VERSION}-{BUILD}"
//   keep builds  --keep-builds  -                            0
//   verify       --verify       -                            changed
//
// An empty --company or --copyright leaves the value out. Values from the main program lose
// leading and trailing spaces.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "LauncherSettings.h"
#include "VersionResource.h"

// A folder per build: a rebuild with an unchanged version must not unpack over a build that may
// still be running.
constexpr char16_t kDefaultExtractionTemplate[] = u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}";
// The same folders with the Linux launcher's separator.
constexpr char16_t kLinuxExtractionTemplate[] = u"{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}";
constexpr uint16_t kDefaultKeepBuilds = 0;
// A warm start reads only what changed since the last start that verified the files.
constexpr VerifyMode kDefaultVerify = VerifyMode::changed;
constexpr char16_t kFallbackVersion[] = u"1.0";

// Units of a description or copyright; they appear only in the version resource.
constexpr size_t kDescriptionLimit = 1023;

struct IdentityOptions {
  // UTF-8, as given on the command line.
  std::optional<std::string> name;
  std::optional<std::string> version;
  std::optional<std::string> company;
  std::optional<std::string> description;
  std::optional<std::string> copyright;
  std::optional<std::string> extract_to;
  std::optional<std::filesystem::path> icon;
  std::optional<std::filesystem::path> manifest;
  uint16_t keep_builds = kDefaultKeepBuilds;  // 0 to kKeepBuildsLimit, or kKeepAllBuilds
  VerifyMode verify = kDefaultVerify;
};

struct IdentityValue {
  std::u16string text;
  std::string source;  // for messages: "--name", "the main program's ProductName", ...
};

struct AppIdentity {
  IdentityValue name;
  IdentityValue version;
  IdentityValue company;
  IdentityValue description;
  IdentityValue copyright;
  IdentityValue extraction_template;
  uint16_t keep_builds = kDefaultKeepBuilds;
  VerifyMode verify = kDefaultVerify;
  std::u16string output_name;  // the packed executable's file name, for OriginalFilename
};

// What the main program offers for the defaults: its version resource, or why it could not be
// read (then the defaults it would give are refused, not guessed).
struct MainProgramVersion {
  std::optional<VersionInfo> info;
  std::string problem;
};

// The identity for a pack. Throws PackError naming the value, where it came from and what is
// wrong with it, when any value breaks the rules of LauncherSettings.h or its length limit.
AppIdentity resolveIdentity(const IdentityOptions& options, const MainProgramVersion& main_version,
                            const std::u16string& output_name,
                            const std::u16string& default_template = kDefaultExtractionTemplate);

// How --keep-builds refuses a value: one line naming the option and what it takes.
std::string keepBuildsRefusal(const std::string& value);

// The launcher settings resource of the identity and the build (LauncherSettings.h). The build id
// (kBuildIdLength lower-case hex digits) is known only once the payload is made, after the
// identity was checked; it is written as it is given.
std::vector<uint8_t> settingsResource(const AppIdentity& identity, const std::string& build_id);

// The version resource of the packed executable: the identity's strings in one US English
// Unicode table, FileVersion and ProductVersion as text and as the numbers of numericVersion.
VersionInfo versionInfoOf(const AppIdentity& identity);

// The template with PRODUCT, VERSION, COMPANY and BUILD filled in and the other variables as they
// are, as a start will use it: "{CACHE_DIR}\MyApp\2.1-3fa2c9e1". Without a build id, {BUILD}
// stays as it is.
std::u16string templateWithIdentity(const LauncherSettings& settings);

// The settings as UTF-16 texts, and back.
std::u16string unitsOf(const WideUnit* text);
