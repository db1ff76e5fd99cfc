#include "LauncherSettings.h"

#include <stdio.h>

#include "ExtractionDirectoryLength.h"
#include "LauncherBuildConfig.h"

namespace {

const LauncherSettings kCompiledSettings = {WIDE_TEXT(ONEFILE_PRODUCT_NAME), WIDE_TEXT(ONEFILE_PRODUCT_VERSION), {0},
                                            WIDE_TEXT(ONEFILE_EXTRACTION_TEMPLATE), {0}, kKeepAllBuilds,
                                            VerifyMode::all};
const LauncherSettings* active_settings = &kCompiledSettings;

SettingsResult resultOf(SettingsStatus status, SettingsField field) {
  return {status, field, ValueProblem::none, FileNameProblem::none, {TemplateProblem::none, 0, 0, 0}, 0};
}

SettingsResult invalidValue(SettingsField field, ValueProblem problem) {
  SettingsResult result = resultOf(SettingsStatus::invalidValue, field);
  result.value_problem = problem;
  return result;
}

size_t textLength(const WideUnit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Reads one text at `*at`: units up to a zero unit, at most `limit` of them, into `text`.
SettingsStatus readText(const uint8_t* bytes, size_t length, size_t* at, WideUnit* text, size_t limit) {
  for (size_t units = 0;; ++units) {
    if (length - *at < 2) return SettingsStatus::unterminatedText;
    const WideUnit unit = static_cast<WideUnit>(bytes[*at] | (bytes[*at + 1] << 8));
    *at += 2;
    if (unit == 0) {
      text[units] = 0;
      return SettingsStatus::ok;
    }
    if (units == limit) return SettingsStatus::textTooLong;
    text[units] = unit;
  }
}

uint16_t readUint16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

void writeUint16(uint16_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>(value & 0xFF);
  out[1] = static_cast<uint8_t>(value >> 8);
}

bool isHighSurrogate(WideUnit unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(WideUnit unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool isWellFormed(const WideUnit* text) {
  for (size_t i = 0; text[i] != 0; ++i) {
    if (isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1])) {
      ++i;
    } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

ValueProblem identityTextProblem(const WideUnit* text, bool may_be_empty) {
  if (text[0] == 0) return may_be_empty ? ValueProblem::none : ValueProblem::empty;
  for (size_t i = 0; text[i] != 0; ++i) {
    if (text[i] < 0x20 || text[i] == 0x7F) return ValueProblem::controlCharacter;
  }
  return isWellFormed(text) ? ValueProblem::none : ValueProblem::illFormed;
}

bool isLowerHexDigit(WideUnit unit) { return (unit >= '0' && unit <= '9') || (unit >= 'a' && unit <= 'f'); }

// Empty (no build) or exactly kBuildIdLength lower-case hex digits: a folder name as it stands,
// and one text for the same build wherever it is shown or compared.
bool isBuildIdOrEmpty(const WideUnit* text) {
  size_t length = 0;
  for (; text[length] != 0; ++length) {
    if (!isLowerHexDigit(text[length])) return false;
  }
  return length == 0 || length == kBuildIdLength;
}

// A value that the template turns into a folder name.
SettingsResult folderNameResult(SettingsField field, const WideUnit* value) {
  const FileNameProblem problem = fileNameProblem(value, textLength(value), nullptr);
  if (problem == FileNameProblem::none) return resultOf(SettingsStatus::ok, SettingsField::none);
  SettingsResult result = invalidValue(field, ValueProblem::fileName);
  result.file_name_problem = problem;
  return result;
}

size_t writeText(const WideUnit* text, uint8_t* out) {
  size_t at = 0;
  for (size_t i = 0;; ++i) {
    out[at++] = static_cast<uint8_t>(text[i] & 0xFF);
    out[at++] = static_cast<uint8_t>(text[i] >> 8);
    if (text[i] == 0) return at;
  }
}

const char* fieldName(SettingsField field) {
  switch (field) {
    case SettingsField::product: return "product name";
    case SettingsField::version: return "version";
    case SettingsField::company: return "company";
    case SettingsField::extractionTemplate: return "extraction template";
    case SettingsField::buildId: return "build id";
    case SettingsField::keepBuilds: return "number of builds to keep";
    case SettingsField::verify: return "way of verifying";
    case SettingsField::none: break;
  }
  return "resource";
}

}  // namespace

SettingsResult readLauncherSettings(const uint8_t* bytes, size_t length, LauncherSettings& settings, PathStyle style) {
  if (bytes == nullptr || length < kSettingsHeaderLength) return resultOf(SettingsStatus::cutShort, SettingsField::none);
  for (size_t i = 0; i < sizeof kSettingsSignature; ++i) {
    if (bytes[i] != kSettingsSignature[i]) return resultOf(SettingsStatus::wrongSignature, SettingsField::none);
  }
  const uint16_t layout = readUint16(bytes + 4);
  if (layout != kSettingsLayoutVersion && layout != kSettingsLayoutWithoutVerify && layout != kSettingsLayoutWithoutBuild) {
    return resultOf(SettingsStatus::unknownLayoutVersion, SettingsField::none);
  }
  const bool has_build = layout != kSettingsLayoutWithoutBuild;
  const bool has_verify = layout == kSettingsLayoutVersion;
  const struct {
    SettingsField field;
    WideUnit* text;
    size_t limit;
  } texts[] = {
      {SettingsField::product, settings.product, kIdentityTextLimit},
      {SettingsField::version, settings.version, kIdentityTextLimit},
      {SettingsField::company, settings.company, kIdentityTextLimit},
      {SettingsField::extractionTemplate, settings.extraction_template, kTemplateLengthLimit},
      {SettingsField::buildId, settings.build_id, kBuildIdLength},
  };
  settings.build_id[0] = 0;
  settings.keep_builds = kKeepAllBuilds;
  settings.verify = VerifyMode::all;
  size_t at = kSettingsHeaderLength;
  for (const auto& text : texts) {
    if (text.field == SettingsField::buildId && !has_build) break;
    const SettingsStatus status = readText(bytes, length, &at, text.text, text.limit);
    if (status != SettingsStatus::ok) return resultOf(status, text.field);
  }
  if (has_build) {
    if (length - at < 2) return resultOf(SettingsStatus::cutShort, SettingsField::keepBuilds);
    settings.keep_builds = readUint16(bytes + at);
    at += 2;
    // An empty id passes the check, which compiled settings need; this layout always has one.
    if (settings.build_id[0] == 0) return invalidValue(SettingsField::buildId, ValueProblem::notBuildId);
  }
  if (has_verify) {
    if (length - at < 2) return resultOf(SettingsStatus::cutShort, SettingsField::verify);
    settings.verify = static_cast<VerifyMode>(readUint16(bytes + at));
    at += 2;
  }
  if (at != length) return resultOf(SettingsStatus::trailingBytes, SettingsField::none);
  return checkLauncherSettings(settings, style);
}

SettingsResult checkLauncherSettings(const LauncherSettings& settings, PathStyle style) {
  const struct {
    SettingsField field;
    const WideUnit* text;
    bool may_be_empty;
    TemplateVariable variable;
  } identity[] = {
      {SettingsField::product, settings.product, false, TemplateVariable::product},
      {SettingsField::version, settings.version, false, TemplateVariable::version},
      {SettingsField::company, settings.company, true, TemplateVariable::company},
  };
  for (const auto& value : identity) {
    const ValueProblem problem = identityTextProblem(value.text, value.may_be_empty);
    if (problem != ValueProblem::none) return invalidValue(value.field, problem);
  }
  if (!isBuildIdOrEmpty(settings.build_id)) return invalidValue(SettingsField::buildId, ValueProblem::notBuildId);
  if (settings.keep_builds > kKeepBuildsLimit && settings.keep_builds != kKeepAllBuilds) {
    return invalidValue(SettingsField::keepBuilds, ValueProblem::keepBuildsRange);
  }
  if (settings.verify != VerifyMode::all && settings.verify != VerifyMode::changed) {
    return invalidValue(SettingsField::verify, ValueProblem::verifyMode);
  }
  // The packer takes a template only as Unicode text (an option in UTF-8 or UTF-16), so a lone
  // surrogate cannot come from a pack.
  if (!isWellFormed(settings.extraction_template)) {
    return invalidValue(SettingsField::extractionTemplate, ValueProblem::illFormed);
  }
  const TemplateCheck check = checkExtractionTemplate(settings.extraction_template, style);
  if (check.problem != TemplateProblem::none) {
    SettingsResult result = invalidValue(SettingsField::extractionTemplate, ValueProblem::badTemplate);
    result.template_check = check;
    return result;
  }
  if (settings.build_id[0] == 0 && templateUses(settings.extraction_template, TemplateVariable::build)) {
    return invalidValue(SettingsField::extractionTemplate, ValueProblem::buildWithoutId);
  }
  for (const auto& value : identity) {
    if (!templateUses(settings.extraction_template, value.variable)) continue;
    const bool stands_for_product = value.field == SettingsField::company && settings.company[0] == 0;
    const SettingsResult result = stands_for_product ? folderNameResult(SettingsField::product, settings.product)
                                                     : folderNameResult(value.field, value.text);
    if (result.status != SettingsStatus::ok) return result;
  }
  const size_t longest = longestExtractionDirectory(settings);
  if (longest > kExtractionDirectoryLimit) {
    SettingsResult result = invalidValue(SettingsField::extractionTemplate, ValueProblem::directoryTooLong);
    result.directory_length = longest;
    return result;
  }
  return resultOf(SettingsStatus::ok, SettingsField::none);
}

size_t encodeLauncherSettings(const LauncherSettings& settings, uint8_t* out, size_t capacity) {
  const size_t length = kSettingsHeaderLength +
                        2 * (textLength(settings.product) + textLength(settings.version) + textLength(settings.company) +
                             textLength(settings.extraction_template) + textLength(settings.build_id) + 5) +
                        2 + 2;
  if (length > capacity) return 0;
  for (size_t i = 0; i < sizeof kSettingsSignature; ++i) out[i] = kSettingsSignature[i];
  writeUint16(kSettingsLayoutVersion, out + 4);
  size_t at = kSettingsHeaderLength;
  at += writeText(settings.product, out + at);
  at += writeText(settings.version, out + at);
  at += writeText(settings.company, out + at);
  at += writeText(settings.extraction_template, out + at);
  at += writeText(settings.build_id, out + at);
  writeUint16(settings.keep_builds, out + at);
  writeUint16(static_cast<uint16_t>(settings.verify), out + at + 2);
  return at + 4;
}

const WideUnit* companyOrProduct(const LauncherSettings& settings) {
  return settings.company[0] != 0 ? settings.company : settings.product;
}

size_t longestExtractionDirectory(const LauncherSettings& settings) {
  return longestExtractionDirectory(settings.extraction_template,
                                    {settings.product, settings.version, companyOrProduct(settings)});
}

void describeSettingsProblem(const SettingsResult& result, char* text, size_t capacity) {
  const char* field = fieldName(result.field);
  switch (result.status) {
    case SettingsStatus::ok: snprintf(text, capacity, "no problem"); return;
    case SettingsStatus::cutShort: snprintf(text, capacity, "the resource is cut short"); return;
    case SettingsStatus::wrongSignature: snprintf(text, capacity, "the resource does not begin with QOVS"); return;
    case SettingsStatus::unknownLayoutVersion: snprintf(text, capacity, "its layout version is unknown"); return;
    case SettingsStatus::unterminatedText: snprintf(text, capacity, "the %s is not terminated", field); return;
    case SettingsStatus::textTooLong: snprintf(text, capacity, "the %s is too long", field); return;
    case SettingsStatus::invalidValue:
      switch (result.value_problem) {
        case ValueProblem::directoryTooLong:
          snprintf(text, capacity, "the extraction directory can be %lu units long, more than the %lu a start can use",
                   static_cast<unsigned long>(result.directory_length),
                   static_cast<unsigned long>(kExtractionDirectoryLimit));
          return;
        case ValueProblem::notBuildId:
          snprintf(text, capacity, "the build id is not %lu lower-case hex digits", static_cast<unsigned long>(kBuildIdLength));
          return;
        case ValueProblem::keepBuildsRange:
          snprintf(text, capacity, "the number of builds to keep is neither 0 to %u nor all",
                   static_cast<unsigned>(kKeepBuildsLimit));
          return;
        case ValueProblem::verifyMode:
          snprintf(text, capacity, "the way of verifying is neither all nor changed");
          return;
        case ValueProblem::buildWithoutId:
          snprintf(text, capacity, "the extraction template names {BUILD}, but there is no build id");
          return;
        default: break;
      }
      snprintf(text, capacity, "the %s is not a value the packer writes", field);
      return;
    case SettingsStatus::trailingBytes: snprintf(text, capacity, "bytes follow its last text"); return;
  }
  snprintf(text, capacity, "unknown problem");
}

const LauncherSettings& compiledLauncherSettings() { return kCompiledSettings; }

const LauncherSettings& activeLauncherSettings() { return *active_settings; }

void useLauncherSettings(const LauncherSettings& settings) { active_settings = &settings; }
