// Who a packed application is: product name, version, company, description and copyright, and the
// extraction directory template. Taken from the pack options, else from the main program's
// version resource, else from fixed fallbacks; checked by the launcher's own rules before anything
// is written, so that every start can use them.
//
//   value        option         else from the main program   else
//   name         --name         ProductName                  the output's file name without ".exe"
//   version      --version      ProductVersion, else its     "1.0"
//                               fixed product version
//   company      --company      CompanyName                  none
//   description  --description  FileDescription              the name
//   copyright    --copyright    LegalCopyright               none
//   template     --extract-to   -                            "{CACHE_DIR}\{PRODUCT}\{VERSION}"
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

constexpr char16_t kDefaultExtractionTemplate[] = u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}";
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
                            const std::u16string& output_name);

// The launcher settings resource of the identity (LauncherSettings.h).
std::vector<uint8_t> settingsResource(const AppIdentity& identity);

// The version resource of the packed executable: the identity's strings in one US English
// Unicode table, FileVersion and ProductVersion as text and as the numbers of numericVersion.
VersionInfo versionInfoOf(const AppIdentity& identity);

// The template with PRODUCT, VERSION and COMPANY filled in and the other variables as they are,
// as a start will use it: "{CACHE_DIR}\MyApp\2.1".
std::u16string templateWithIdentity(const LauncherSettings& settings);

// The settings as UTF-16 texts, and back.
std::u16string unitsOf(const WideUnit* text);
