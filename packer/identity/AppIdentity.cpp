#include "AppIdentity.h"

#include "AppFolder.h"
#include "ExtractionDirectoryLength.h"
#include "PackError.h"
#include "TextEncoding.h"

namespace {

struct Field {
  const char* what;    // "product name"
  const char* option;  // "--name"
  size_t limit;
};

const Field kName = {"product name", "--name", kIdentityTextLimit};
const Field kVersion = {"version", "--version", kIdentityTextLimit};
const Field kCompany = {"company", "--company", kIdentityTextLimit};
const Field kDescription = {"description", "--description", kDescriptionLimit};
const Field kCopyright = {"copyright", "--copyright", kDescriptionLimit};
const Field kTemplate = {"extraction template", "--extract-to", kTemplateLengthLimit};

std::u16string trimmed(const std::u16string& text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return u"";
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

std::u16string fromOption(const std::string& utf8, const Field& field) {
  const std::optional<std::u16string> units = utf16FromUtf8(utf8);
  if (!units) throw PackError(std::string(field.option) + " is not valid UTF-8");
  return *units;
}

// The option's value, else the main program's string `key`, else nothing.
std::optional<IdentityValue> optionOrMain(const std::optional<std::string>& option, const Field& field,
                                          const MainProgramVersion& main, const char16_t* key, const char* key_name) {
  if (option) return IdentityValue{fromOption(*option, field), field.option};
  if (!main.problem.empty()) {
    throw PackError("the main program's version resource, which gives the default " + std::string(field.what) +
                    ", cannot be read (" + main.problem + "); give the " + field.what + " with " + field.option);
  }
  if (!main.info) return std::nullopt;
  const std::u16string* value = versionString(*main.info, key);
  if (value == nullptr || trimmed(*value).empty()) return std::nullopt;
  return IdentityValue{trimmed(*value), std::string("the main program's ") + key_name};
}

[[noreturn]] void failValue(const Field& field, const IdentityValue& value, const std::string& problem) {
  const std::string shown = value.text.empty() ? "" : " '" + printableUtf8(value.text) + "'";
  const std::string hint = value.source == field.option ? "" : "; give one with " + std::string(field.option);
  throw PackError("the " + std::string(field.what) + shown + " (from " + value.source + ") " + problem + hint);
}

void requireLength(const Field& field, const IdentityValue& value) {
  if (value.text.size() > field.limit) {
    failValue(field, IdentityValue{u"", value.source},
              "is " + std::to_string(value.text.size()) + " UTF-16 units long; at most " + std::to_string(field.limit) +
                  " are possible");
  }
}

// Description and copyright reach only the version resource: any text without control characters.
void requireText(const Field& field, const IdentityValue& value) {
  requireLength(field, value);
  for (char16_t unit : value.text) {
    if (unit < 0x20 || unit == 0x7F) failValue(field, value, "contains a control character");
  }
  if (!utf8FromUtf16(value.text)) failValue(field, value, "is not valid Unicode text");
}

void copyUnits(const std::u16string& text, WideUnit* out) {
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<WideUnit>(text[i]);
  out[text.size()] = 0;
}

// Stands for the payload's id in the check made before the payload exists: any id is as long and
// passes as well as every other.
const char kBuildIdToCome[] = "0000000000000000";
static_assert(sizeof kBuildIdToCome == kBuildIdLength + 1, "a build id's length");

LauncherSettings settingsOf(const AppIdentity& identity, const std::string& build_id) {
  LauncherSettings settings{};
  copyUnits(identity.name.text, settings.product);
  copyUnits(identity.version.text, settings.version);
  copyUnits(identity.company.text, settings.company);
  copyUnits(identity.extraction_template.text, settings.extraction_template);
  copyUnits(std::u16string(build_id.begin(), build_id.end()), settings.build_id);
  settings.keep_builds = identity.keep_builds;
  settings.verify = identity.verify;
  return settings;
}

std::string templateProblem(const TemplateCheck& check, const std::u16string& text) {
  const std::string position = " at position " + std::to_string(check.position + 1);
  switch (check.problem) {
    case TemplateProblem::none: break;
    case TemplateProblem::empty: return "is empty";
    case TemplateProblem::tooLong: return "is too long";
    case TemplateProblem::unknownVariable:
      return "names the unknown variable {" + printableUtf8(text.substr(check.name_start, check.name_length)) +
             "}; the variables are TEMP, HOME, CACHE_DIR, PROGRAM, PROGRAM_BASE, PROGRAM_DIR, PRODUCT, VERSION, "
             "COMPANY, BUILD, PID and TIME";
    case TemplateProblem::nameTooLong:
      return "has a variable name of " + std::to_string(check.name_length) + " units" + position;
    case TemplateProblem::unclosedName: return "has a '{'" + position + " that no '}' closes";
    case TemplateProblem::strayClosingBrace: return "has a '}'" + position + " that closes no '{'";
    case TemplateProblem::invalidCharacter:
      return "contains '" + printableUtf8(text.substr(check.position, 1)) + "'" + position +
             ", which Windows does not allow in a path";
    case TemplateProblem::notAbsolute:
      return "gives no absolute path: begin it with a drive (\"C:\\\"), \"\\\\\", or one of {CACHE_DIR}, {HOME}, {TEMP}, "
             "{PROGRAM_DIR}, {PROGRAM}, {PROGRAM_BASE}";
  }
  return "is not a valid template";
}

std::string templateSettingsProblem(const SettingsResult& result, const std::u16string& text) {
  switch (result.value_problem) {
    case ValueProblem::illFormed: return "is not valid Unicode text";
    case ValueProblem::directoryTooLong:
      return "can give an extraction directory of " + std::to_string(result.directory_length) + " units, more than the " +
             std::to_string(kExtractionDirectoryLimit) + " a start can use";
    default: return templateProblem(result.template_check, text);
  }
}

void requireSettings(const AppIdentity& identity) {
  const LauncherSettings settings = settingsOf(identity, kBuildIdToCome);
  const SettingsResult result = checkLauncherSettings(settings);
  if (result.status == SettingsStatus::ok) return;
  if (result.field == SettingsField::keepBuilds) throw PackError(keepBuildsRefusal(std::to_string(identity.keep_builds)));
  if (result.field == SettingsField::extractionTemplate) {
    failValue(kTemplate, identity.extraction_template, templateSettingsProblem(result, identity.extraction_template.text));
  }
  const bool is_version = result.field == SettingsField::version;
  const bool is_company = result.field == SettingsField::company;
  const Field& field = is_version ? kVersion : is_company ? kCompany : kName;
  const IdentityValue& value = is_version ? identity.version : is_company ? identity.company : identity.name;
  switch (result.value_problem) {
    case ValueProblem::empty: failValue(field, value, "is empty");
    case ValueProblem::illFormed: failValue(field, value, "is not valid Unicode text");
    case ValueProblem::controlCharacter: failValue(field, value, "contains a control character");
    case ValueProblem::fileName:
      failValue(field, value, windowsNameProblem(value.text) + ", and the extraction template makes it a folder name");
    case ValueProblem::badTemplate:
    case ValueProblem::directoryTooLong:
    case ValueProblem::notBuildId:
    case ValueProblem::keepBuildsRange:
    case ValueProblem::buildWithoutId:
    case ValueProblem::verifyMode:
    case ValueProblem::none: break;
  }
  failValue(field, value, "is not a valid value");
}

std::u16string withoutExe(const std::u16string& name) {
  if (name.size() > 4) {
    std::u16string extension = name.substr(name.size() - 4);
    for (char16_t& unit : extension) unit = unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    if (extension == u".exe") return name.substr(0, name.size() - 4);
  }
  return name;
}

std::u16string fallbackVersion(const MainProgramVersion& main) {
  if (main.info && main.info->fixed) {
    const std::array<uint16_t, 4>& numbers = main.info->fixed->product_version;
    if (numbers != std::array<uint16_t, 4>{}) return versionText(numbers);
  }
  return kFallbackVersion;
}

}  // namespace

AppIdentity resolveIdentity(const IdentityOptions& options, const MainProgramVersion& main_version,
                            const std::u16string& output_name, const std::u16string& default_template) {
  AppIdentity identity;
  identity.output_name = output_name;
  identity.name = optionOrMain(options.name, kName, main_version, u"ProductName", "ProductName")
                      .value_or(IdentityValue{withoutExe(output_name), "the output's name"});
  const std::optional<IdentityValue> version =
      optionOrMain(options.version, kVersion, main_version, u"ProductVersion", "ProductVersion");
  if (version) {
    identity.version = *version;
  } else {
    const bool fixed = main_version.info && main_version.info->fixed;
    identity.version = IdentityValue{fallbackVersion(main_version), fixed ? "the main program's fixed version" : "the fallback"};
  }
  identity.company = optionOrMain(options.company, kCompany, main_version, u"CompanyName", "CompanyName")
                         .value_or(IdentityValue{u"", "nowhere"});
  identity.description = optionOrMain(options.description, kDescription, main_version, u"FileDescription", "FileDescription")
                             .value_or(IdentityValue{identity.name.text, identity.name.source});
  identity.copyright = optionOrMain(options.copyright, kCopyright, main_version, u"LegalCopyright", "LegalCopyright")
                           .value_or(IdentityValue{u"", "nowhere"});
  identity.keep_builds = options.keep_builds;
  identity.verify = options.verify;
  identity.extraction_template = options.extract_to ? IdentityValue{fromOption(*options.extract_to, kTemplate), "--extract-to"}
                                                    : IdentityValue{default_template, "the default"};

  requireLength(kName, identity.name);
  requireLength(kVersion, identity.version);
  requireLength(kCompany, identity.company);
  requireLength(kTemplate, identity.extraction_template);
  requireSettings(identity);
  requireText(kDescription, identity.description);
  requireText(kCopyright, identity.copyright);
  return identity;
}

std::string keepBuildsRefusal(const std::string& value) {
  return "--keep-builds takes a whole number from 0 to " + std::to_string(kKeepBuildsLimit) + " or all, not '" + value + "'";
}

std::vector<uint8_t> settingsResource(const AppIdentity& identity, const std::string& build_id) {
  const LauncherSettings settings = settingsOf(identity, build_id);
  std::vector<uint8_t> bytes(kMaximumSettingsSize);
  bytes.resize(encodeLauncherSettings(settings, bytes.data(), bytes.size()));
  return bytes;
}

VersionInfo versionInfoOf(const AppIdentity& identity) {
  VersionInfo info;
  FixedFileInfo fixed;
  fixed.file_version = numericVersion(identity.version.text);
  fixed.product_version = fixed.file_version;
  info.fixed = fixed;
  VersionStringTable table;
  table.language = u"040904B0";
  table.strings = {
      {u"CompanyName", identity.company.text},
      {u"FileDescription", identity.description.text},
      {u"FileVersion", identity.version.text},
      {u"InternalName", withoutExe(identity.output_name)},
      {u"LegalCopyright", identity.copyright.text},
      {u"OriginalFilename", identity.output_name},
      {u"ProductName", identity.name.text},
      {u"ProductVersion", identity.version.text},
  };
  info.tables.push_back(std::move(table));
  info.translations.push_back(0x04B00409);  // US English, Unicode
  return info;
}

std::u16string unitsOf(const WideUnit* text) {
  std::u16string units;
  for (; *text != 0; ++text) units += static_cast<char16_t>(*text);
  return units;
}

std::u16string templateWithIdentity(const LauncherSettings& settings) {
  std::u16string shown;
  for (size_t at = 0;;) {
    const TemplatePiece piece = nextTemplatePiece(settings.extraction_template, &at);
    if (piece.kind == TemplatePieceKind::end) return shown;
    if (piece.kind == TemplatePieceKind::literal) {
      shown += static_cast<char16_t>(piece.unit);
    } else if (piece.variable == TemplateVariable::product) {
      shown += unitsOf(settings.product);
    } else if (piece.variable == TemplateVariable::version) {
      shown += unitsOf(settings.version);
    } else if (piece.variable == TemplateVariable::company) {
      shown += unitsOf(companyOrProduct(settings));
    } else if (piece.variable == TemplateVariable::build && settings.build_id[0] != 0) {
      shown += unitsOf(settings.build_id).substr(0, kBuildVariableLength);
    } else {
      shown += u"{";
      for (const char* name = templateVariableName(piece.variable); *name != 0; ++name) shown += static_cast<char16_t>(*name);
      shown += u"}";
    }
  }
}
