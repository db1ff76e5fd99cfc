#include "BuildRecordFile.h"

#include "DirectoryCreation.h"
#include "LauncherSettings.h"
#include "SupersededBuilds.h"
#include "WideString.h"

namespace {

constexpr size_t kRecordPathCapacity = 4096 + 64;
WideBuffer<kRecordPathCapacity> OwnRecordPath;
WideBuffer<kRecordPathCapacity> OwnRecordTemporaryPath;
HANDLE own_record_file = INVALID_HANDLE_VALUE;
bool own_record_written = false;
uint8_t RecordWriteBuffer[65536];
BuildRecordWriter own_writer;
RecordFile own_check;

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

bool sameText(const WideUnit* a, const WideUnit* b) { return wcscmp(a, b) == 0; }

// A record already in place for this very build is kept: which files were checked or repaired
// does not change what the build put there.
bool ownRecordIsCurrent(const BuildRecordIdentity& current) {
  BuildRecordIdentity found;
  const bool read = openRecordFile(own_check, OwnRecordPath, found);
  closeRecordFile(own_check);
  return read && sameText(found.product, current.product) && sameText(found.company, current.company) &&
         sameText(found.version, current.version) && sameText(found.build_id, current.build_id);
}

}  // namespace

bool buildRemovalApplies() {
  const LauncherSettings& settings = activeLauncherSettings();
  return settings.keep_builds != kKeepAllBuilds && templateSeparatesBuilds(settings.extraction_template);
}

void currentBuildIdentity(BuildRecordIdentity& identity) {
  const LauncherSettings& settings = activeLauncherSettings();
  copyWideString(identity.product, kRecordIdentityLimit + 1, settings.product);
  copyWideString(identity.company, kRecordIdentityLimit + 1, settings.company);
  copyWideString(identity.version, kRecordIdentityLimit + 1, settings.version);
  copyWideString(identity.build_id, kRecordBuildIdLimit + 1, settings.build_id);
}

void beginOwnBuildRecord(const WideUnit* directory) {
  if (!buildRemovalApplies() || wideLength(directory) + 32 >= kRecordPathCapacity) return;
  copyWideString(OwnRecordPath, directory);
  appendWideString(OwnRecordPath, kBuildRecordSuffix);
  BuildRecordIdentity identity;
  currentBuildIdentity(identity);
  if (ownRecordIsCurrent(identity)) return;
  copyWideString(OwnRecordTemporaryPath, OwnRecordPath);
  appendWideString(OwnRecordTemporaryPath, kTemporarySuffix);
  // The first start makes the application's folder here; its files would make it a moment later.
  ensureParentDirectories(OwnRecordTemporaryPath);
  own_record_file = CreateFileW(OwnRecordTemporaryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (own_record_file == INVALID_HANDLE_VALUE) return;
  own_writer = {RecordWriteBuffer, sizeof RecordWriteBuffer, 0, 0, false, writeToFile, own_record_file};
  beginBuildRecord(own_writer, identity);
}

void recordOwnBuildFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum) {
  if (own_record_file == INVALID_HANDLE_VALUE) return;
  addRecordedFile(own_writer, name, size, stored_checksum);
}

void finishOwnBuildRecord() {
  if (own_record_file == INVALID_HANDLE_VALUE) return;
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
