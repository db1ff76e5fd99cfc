// The launcher's settings resource: the identity, build and extraction directory that the packer
// fixes for one application. Resource RT_RCDATA 29, language neutral, beside the payload (27) and
// the splash image (28):
//
//   offset  size              field
//   0       4 bytes           "QOVS" (ASCII, no terminator)
//   4       2 bytes           layout version, unsigned 16-bit little-endian: 1, 2 or 3
//   6       2 * (k + 1) each  texts, one after another, each k UTF-16LE units and a zero unit:
//                               product name                 1 to 128 units
//                               version                      1 to 128 units
//                               company                      0 to 128 units (0: none)
//                               extraction directory template 1 to 1023 units
//                             layouts 2 and 3:
//                               build id                     16 units "0"-"9", "a"-"f"
//   then    2 bytes           layouts 2 and 3: keep builds, unsigned 16-bit little-endian: 0 to 100,
//                             or 0xFFFF (keep every build)
//   then    2 bytes           layout 3 only: verify, unsigned 16-bit little-endian: 0 (all) or 1
//                             (changed)
//   end                       nothing follows
//
// Layout 1 ends after the fourth text: it has no build id and keeps every build. Layout 2 ends
// after keep builds. Both verify every file on every start. A launcher reads layouts 1 to 3 and
// refuses any other: a later layout that adds fields gets a new number, so an
// old stub never runs with half of what was packed. A value that the packer would refuse (see
// checkLauncherSettings) is refused here as well: the resource cannot carry anything the packer
// did not check.
//
// A stub without the resource uses the values it was built with (compiledLauncherSettings).
#pragma once

#include "FileNameRules.h"
#include "OnefilePlatform.h"
#include "TemplateSyntax.h"

constexpr uint16_t kSettingsResourceId = 29;
constexpr uint16_t kSettingsLayoutVersion = 3;
// The layout before the choice of how a start verifies the cache; still read, as verify all.
constexpr uint16_t kSettingsLayoutWithoutVerify = 2;
// The layout before builds had ids; still read, so that executables packed before start as they did.
constexpr uint16_t kSettingsLayoutWithoutBuild = 1;
constexpr size_t kSettingsHeaderLength = 6;
constexpr uint8_t kSettingsSignature[4] = {'Q', 'O', 'V', 'S'};

// Units of a product name, version or company, the terminator not counted. Each may become a
// folder name, and Windows takes at most 255 units per name.
constexpr size_t kIdentityTextLimit = 128;

// A build id: the first 8 bytes of the SHA-256 of the payload resource, as lower-case hex digits.
constexpr size_t kBuildIdLength = 16;

// How many other builds of the application a start leaves beside its own: 0 to kKeepBuildsLimit,
// or kKeepAllBuilds, which removes none.
constexpr uint16_t kKeepAllBuilds = 0xFFFF;
constexpr uint16_t kKeepBuildsLimit = 100;

// How a warm start makes sure of the files in the cache: `all` reads every file and checks its
// CRC-32; `changed` reads only the files that the file system shows changed since the last start
// that verified them (BuildRecord.h).
enum class VerifyMode : uint16_t { all = 0, changed = 1 };

struct LauncherSettings {
  WideUnit product[kIdentityTextLimit + 1];
  WideUnit version[kIdentityTextLimit + 1];
  WideUnit company[kIdentityTextLimit + 1];  // empty: none
  WideUnit extraction_template[kTemplateLengthLimit + 1];
  WideUnit build_id[kBuildIdLength + 1];  // empty: no build id (layout 1, or a stub without settings)
  uint16_t keep_builds;
  VerifyMode verify;
};

// The most bytes a settings resource can have.
constexpr size_t kMaximumSettingsSize =
    kSettingsHeaderLength + 2 * (3 * (kIdentityTextLimit + 1) + kTemplateLengthLimit + 1 + kBuildIdLength + 1) + 2 + 2;

enum class SettingsField : uint8_t { none, product, version, company, extractionTemplate, buildId, keepBuilds, verify };

enum class SettingsStatus : uint8_t {
  ok,
  cutShort,              // shorter than the header, or ends inside keep builds or verify
  wrongSignature,        // not "QOVS"
  unknownLayoutVersion,  // a layout this launcher does not know
  unterminatedText,      // the resource ends inside a text
  textTooLong,           // a text over its limit
  invalidValue,          // a value the packer would have refused
  trailingBytes,         // bytes after the last field
};

enum class ValueProblem : uint8_t {
  none,
  empty,             // product name, version or template without a unit
  illFormed,         // a lone surrogate: not Unicode text
  controlCharacter,  // a unit below U+0020 or U+007F
  fileName,          // the template makes it a folder name that Windows cannot hold
  badTemplate,       // the extraction template fails its check
  directoryTooLong,  // the template can give a directory longer than a start can use
  notBuildId,        // a build id that is not kBuildIdLength lower-case hex digits
  keepBuildsRange,   // keep builds neither 0 to kKeepBuildsLimit nor kKeepAllBuilds
  buildWithoutId,    // the template names {BUILD} while there is no build id
  verifyMode,        // verify neither 0 (all) nor 1 (changed)
};

struct SettingsResult {
  SettingsStatus status;
  SettingsField field;
  ValueProblem value_problem;
  FileNameProblem file_name_problem;  // value_problem fileName
  TemplateCheck template_check;       // value_problem badTemplate
  size_t directory_length;            // value_problem directoryTooLong: the longest it can be
};

// Reads the resource into `settings`. On any status but ok, `settings` holds nothing usable.
// `style`: the paths of the system the launcher that carries them runs on.
SettingsResult readLauncherSettings(const uint8_t* bytes, size_t length, LauncherSettings& settings,
                                    PathStyle style = PathStyle::windows);

// The rules every packed value obeys:
// - product name and version have at least one unit, the company may be empty;
// - the build id is empty or kBuildIdLength lower-case hex digits (a layout 2 resource must have
//   one); keep builds is 0 to kKeepBuildsLimit or kKeepAllBuilds;
// - the three are well-formed UTF-16 without control characters;
// - the template is well-formed UTF-16 and passes checkExtractionTemplate;
// - each of PRODUCT, VERSION and COMPANY that the template names must be a name Windows can hold
//   as a folder (fileNameProblem); {COMPANY} without a company stands for the product name;
// - a template that names BUILD needs a build id;
// - the longest directory the template can give (longestExtractionDirectory) is at most
//   kExtractionDirectoryLimit units, so that every start has room for the program's path.
SettingsResult checkLauncherSettings(const LauncherSettings& settings, PathStyle style = PathStyle::windows);

// Writes the resource in layout 3; returns its length, or 0 when `capacity` is too small. Values
// are written as they are: check them first.
size_t encodeLauncherSettings(const LauncherSettings& settings, uint8_t* out, size_t capacity);

// What a template's {COMPANY} gives: the company, or the product name when there is none.
const WideUnit* companyOrProduct(const LauncherSettings& settings);

// The most units the settings' extraction template can expand to (ExtractionDirectoryLength.h).
size_t longestExtractionDirectory(const LauncherSettings& settings);

// One short English phrase for a failed read, such as "the product name is too long", into a
// NUL-terminated narrow buffer.
void describeSettingsProblem(const SettingsResult& result, char* text, size_t capacity);

// The values this stub was built with (the product name "Quorvell", version "1.3", no company, the
// extraction template "{CACHE_DIR}\{PRODUCT}\{VERSION}"), no build id, every build kept, and every
// file verified on every start.
const LauncherSettings& compiledLauncherSettings();

// The settings whose values {PRODUCT}, {VERSION}, {COMPANY} and {BUILD} give: the compiled ones
// until useLauncherSettings names others, which must then live until the process ends.
const LauncherSettings& activeLauncherSettings();
void useLauncherSettings(const LauncherSettings& settings);
