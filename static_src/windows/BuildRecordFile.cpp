#include "BuildRecordFile.h"

#include "DirectoryCreation.h"
#include "LauncherSettings.h"
#include "RecordedStates.h"
#include "SupersededBuilds.h"
#include "TemplateSyntax.h"
#include "WideString.h"

namespace {

constexpr size_t kRecordPathCapacity = 4096 + 64;
WideBuffer<kRecordPathCapacity> OwnRecordPath;
WideBuffer<kRecordPathCapacity> OwnRecordTemporaryPath;
WideBuffer<4096> OwnDirectory;
HANDLE own_record_file = INVALID_HANDLE_VALUE;
bool own_record_written = false;
uint8_t RecordWriteBuffer[65536];
BuildRecordWriter own_writer;
uint64_t own_files = 0;  // files added to the record being written
RecordFile own_check = {INVALID_HANDLE_VALUE, {}};
BuildRecordIdentity OwnIdentity;

// Checking only changed files: whether this start wants states, whether the record's are trusted,
// and whether every file so far showed its recorded state.
bool states_wanted = false;
bool record_current = false;
bool states_trusted = false;
bool all_as_recorded = false;
uint64_t states_left = 0;
uint8_t StateBuffer[256 * kRecordedStateLength];
size_t state_bytes = 0;
size_t state_at = 0;
RecordedFileState Recorded;
RecordedFileState Found;
WideBuffer<4096> StatePath;
EntryNameBuffer RecordedName;

const WideUnit kTemporarySuffix[] = WIDE_TEXT(".tmp");

bool writeToFile(void* context, const uint8_t* bytes, size_t length) {
  DWORD written = 0;
  return WriteFile(static_cast<HANDLE>(context), bytes, static_cast<DWORD>(length), &written, nullptr) != 0 &&
         written == length;
}

size_t readFromFile(void* context, uint8_t* into, size_t capacity) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(context), into, static_cast<DWORD>(capacity), &got, nullptr)) return 0;
  return got;
}


// Reads the record to its trailer: states are trusted only from a record that is sound throughout.
bool readsToItsEnd(RecordFile& record) {
  for (;;) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    const RecordStatus status = nextRecordedFile(record.reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) return status == RecordStatus::end;
  }
}

// A record already in place for this very build is kept: which files were checked or repaired
// does not change what the build put there. Without states wanted only its identity is read, as
// before; with them it is read whole, and its states are then read one by one as the files are
// checked, through the handle kept open.
bool ownRecordIsCurrent() {
  BuildRecordIdentity found;
  const bool current = openRecordFile(own_check, OwnRecordPath, found) && sameRecordIdentity(found, OwnIdentity) &&
                       (!states_wanted || readsToItsEnd(own_check));
  if (current && states_wanted && own_check.reader.has_states && volumeKeepsFileStates(OwnDirectory)) {
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(own_check.reader.states_offset);
    states_trusted = SetFilePointerEx(own_check.file, offset, nullptr, FILE_BEGIN) != 0;
    states_left = own_check.reader.files;
  }
  if (!states_trusted) closeRecordFile(own_check);
  all_as_recorded = states_trusted;
  return current;
}

bool nextRecordedState(RecordedFileState& state) {
  if (states_left == 0) return false;
  if (state_at == state_bytes) {
    DWORD got = 0;
    if (!ReadFile(own_check.file, StateBuffer, sizeof StateBuffer, &got, nullptr)) return false;
    state_bytes = got - got % kRecordedStateLength;
    state_at = 0;
    if (state_bytes == 0) return false;
  }
  uint8_t bytes[kRecordedStateLength];
  memcpy(bytes, StateBuffer + state_at, sizeof bytes);
  state_at += sizeof bytes;
  --states_left;
  decodeRecordedState(bytes, state);
  return true;
}

bool createTemporaryRecord() {
  copyWideString(OwnRecordTemporaryPath, OwnRecordPath);
  appendWideString(OwnRecordTemporaryPath, kTemporarySuffix);
  // The first start makes the application's folder here; its files would make it a moment later.
  ensureParentDirectories(OwnRecordTemporaryPath);
  // Readers are let in: the list is read back from here while the states are added.
  own_record_file = CreateFileW(OwnRecordTemporaryPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (own_record_file == INVALID_HANDLE_VALUE) return false;
  own_writer = {RecordWriteBuffer, sizeof RecordWriteBuffer, 0, 0, false, writeToFile, own_record_file, false};
  own_files = 0;
  beginBuildRecord(own_writer, OwnIdentity);
  return true;
}

// After the list of the record being written: reads it back, and adds each file's state as its
// folder's listing shows it now. A file that the listing does not show gets an empty state, which
// no file matches.
void addStatesOfWrittenList() {
  endRecordedFilesWithStates(own_writer);
  if (own_writer.failed) return;
  own_check.file = CreateFileW(OwnRecordTemporaryPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  BuildRecordIdentity identity;
  bool readable = own_check.file != INVALID_HANDLE_VALUE &&
                  openBuildRecord(own_check.reader, {readFromFile, own_check.file}, identity) == RecordStatus::ok;
  forgetListedFolder();
  for (uint64_t i = 0; i < own_files; ++i) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    readable = readable && nextRecordedFile(own_check.reader, RecordedName, size, stored_checksum) == RecordStatus::ok;
    Found = {};
    if (readable && wideLength(OwnDirectory) + 1 + wideLength(RecordedName) < 4096) {
      copyWideString(StatePath, OwnDirectory);
      appendWideChar(StatePath, L'\\');
      appendWideString(StatePath, RecordedName);
      if (!currentFileState(StatePath, Found)) Found = {};
    }
    addRecordedState(own_writer, Found);
  }
  closeRecordFile(own_check);
  // A list that cannot be read back gives no record at all rather than one with wrong states.
  if (!readable) own_writer.failed = true;
}

// The record in place names this build and is sound, but a file was not as recorded: the same
// list, copied from it, with the states of now.
void rewriteCurrentRecord() {
  BuildRecordIdentity found;
  if (!openRecordFile(own_check, OwnRecordPath, found) || !sameRecordIdentity(found, OwnIdentity) ||
      !createTemporaryRecord()) {
    closeRecordFile(own_check);
    return;
  }
  RecordStatus status;
  for (;;) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    status = nextRecordedFile(own_check.reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) break;
    recordOwnBuildFile(RecordedName, size, stored_checksum);
  }
  closeRecordFile(own_check);
  if (status != RecordStatus::end) own_writer.failed = true;
}

}  // namespace

bool buildRemovalApplies() {
  const LauncherSettings& settings = activeLauncherSettings();
  return settings.keep_builds != kKeepAllBuilds && templateSeparatesBuilds(settings.extraction_template);
}

bool verifyChangedApplies() {
  const LauncherSettings& settings = activeLauncherSettings();
  // A folder of its own for every start is never found again, so a record beside it is only litter.
  return settings.verify == VerifyMode::changed && !templateUses(settings.extraction_template, TemplateVariable::pid) &&
         !templateUses(settings.extraction_template, TemplateVariable::time);
}

void currentBuildIdentity(BuildRecordIdentity& identity) {
  const LauncherSettings& settings = activeLauncherSettings();
  copyWideString(identity.product, kRecordIdentityLimit + 1, settings.product);
  copyWideString(identity.company, kRecordIdentityLimit + 1, settings.company);
  copyWideString(identity.version, kRecordIdentityLimit + 1, settings.version);
  copyWideString(identity.build_id, kRecordBuildIdLimit + 1, settings.build_id);
}

void beginOwnBuildRecord(const WideUnit* directory) {
  states_wanted = verifyChangedApplies();
  if ((!buildRemovalApplies() && !states_wanted) || wideLength(directory) + 32 >= kRecordPathCapacity) {
    states_wanted = false;
    return;
  }
  copyWideString(OwnDirectory, directory);
  copyWideString(OwnRecordPath, directory);
  appendWideString(OwnRecordPath, kBuildRecordSuffix);
  currentBuildIdentity(OwnIdentity);
  record_current = ownRecordIsCurrent();
  if (!record_current) createTemporaryRecord();
}

void recordOwnBuildFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum) {
  if (own_record_file == INVALID_HANDLE_VALUE) return;
  addRecordedFile(own_writer, name, size, stored_checksum);
  ++own_files;
}

bool fileAsRecorded(const WideUnit* path) {
  if (!states_trusted) return false;
  const bool as_recorded = nextRecordedState(Recorded) && currentFileState(path, Found) && sameFileState(Recorded, Found);
  if (!as_recorded) all_as_recorded = false;
  return as_recorded;
}

bool fileStatesTrusted() { return states_trusted; }

void finishOwnBuildRecord() {
  if (states_trusted) closeRecordFile(own_check);
  states_trusted = false;
  // The common warm start, every file as recorded, ends here without another look at the volume.
  const bool stale = record_current && states_wanted && !all_as_recorded;
  if (!stale && own_record_file == INVALID_HANDLE_VALUE) return;
  const bool with_states = states_wanted && volumeKeepsFileStates(OwnDirectory);
  if (stale && with_states) rewriteCurrentRecord();
  if (own_record_file == INVALID_HANDLE_VALUE) return;
  if (with_states) addStatesOfWrittenList();
  const bool complete = finishBuildRecord(own_writer);
  CloseHandle(own_record_file);
  own_record_file = INVALID_HANDLE_VALUE;
  own_record_written =
      complete && MoveFileExW(OwnRecordTemporaryPath, OwnRecordPath, MOVEFILE_REPLACE_EXISTING) != 0;
  if (!own_record_written) DeleteFileW(OwnRecordTemporaryPath);
}

bool ownBuildRecordWritten() { return own_record_written; }

bool openRecordFile(RecordFile& record, const WideUnit* path, BuildRecordIdentity& identity) {
  // The record itself, never what a link in its place points to.
  record.file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (record.file == INVALID_HANDLE_VALUE) return false;
  FILE_ATTRIBUTE_TAG_INFO information;
  if (!GetFileInformationByHandleEx(record.file, FileAttributeTagInfo, &information, sizeof information) ||
      (information.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    return false;
  return openBuildRecord(record.reader, {readFromFile, record.file}, identity) == RecordStatus::ok;
}

void closeRecordFile(RecordFile& record) {
  if (record.file != INVALID_HANDLE_VALUE) CloseHandle(record.file);
  record.file = INVALID_HANDLE_VALUE;
}
