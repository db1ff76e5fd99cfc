#include "BuildRecordFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "BuildRecord.h"
#include "LauncherSettings.h"
#include "SupersededBuilds.h"
#include "SystemPathText.h"
#include "TemplateSyntax.h"
#include "WideString.h"

namespace {

constexpr size_t kPathBytes = size_t{4096} * 3;
char RecordPath[kPathBytes];
char TemporaryPath[kPathBytes];
WideBuffer<4096> OwnDirectory;
size_t own_directory_length = 0;
BuildRecordIdentity OwnIdentity;

int own_record_file = -1;  // the temporary record being written
uint8_t RecordWriteBuffer[65536];
BuildRecordWriter own_writer;
uint64_t own_files = 0;

int checked_record = -1;  // the record in place, read for its states
BuildRecordReader checked_reader;
bool states_wanted = false;
bool record_wanted = false;
bool own_record_written = false;
bool record_current = false;
bool states_trusted = false;
bool all_as_recorded = false;
uint64_t states_left = 0;
uint8_t StateBuffer[256 * kRecordedStateLength];
size_t state_bytes = 0;
size_t state_at = 0;
RecordedFileState Recorded;
RecordedFileState Found;
EntryNameBuffer RecordedName;
WideBuffer<4096> StatePath;
char StatePathBytes[kPathBytes];

bool writeToFile(void* context, const uint8_t* bytes, size_t length) {
  const int descriptor = *static_cast<int*>(context);
  while (length > 0) {
    const ssize_t written = write(descriptor, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

size_t readFromFile(void* context, uint8_t* into, size_t capacity) {
  const int descriptor = *static_cast<int*>(context);
  for (;;) {
    const ssize_t got = read(descriptor, into, capacity);
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<size_t>(got) : 0;
  }
}

void closeDescriptor(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

// Times and inodes that every change of a file moves, kept by the file system itself: local file
// systems only. A network file system reports what its server and the client's cache make of them.
bool volumeKeepsFileStates(const char* directory) {
  struct statfs volume = {};
  if (statfs(directory, &volume) != 0) return false;
  switch (static_cast<uint64_t>(volume.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
      return true;
    default:
      return false;
  }
}

bool currentFileState(const char* path, RecordedFileState& state) {
  struct stat entry = {};
  if (lstat(path, &entry) != 0 || !S_ISREG(entry.st_mode)) return false;
  state = {};
  state.size = static_cast<uint64_t>(entry.st_size);
  state.last_write_time = static_cast<uint64_t>(entry.st_mtim.tv_sec) * 1000000000ull +
                          static_cast<uint64_t>(entry.st_mtim.tv_nsec);
  state.change_time = static_cast<uint64_t>(entry.st_ctim.tv_sec) * 1000000000ull +
                      static_cast<uint64_t>(entry.st_ctim.tv_nsec);
  state.volume_serial = static_cast<uint64_t>(entry.st_dev);
  const auto inode = static_cast<uint64_t>(entry.st_ino);
  for (size_t i = 0; i < 8; ++i) state.file_id[i] = static_cast<uint8_t>(inode >> (8 * i));
  return true;
}

// The record itself, never what a link in its place points to, and only when it is the user's own.
bool openRecordFile(int& descriptor, BuildRecordReader& reader, const char* path, BuildRecordIdentity& identity) {
  return openRecordAt(AT_FDCWD, path, descriptor, reader, identity, nullptr);
}

bool readsToItsEnd(BuildRecordReader& reader) {
  for (;;) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    const RecordStatus status = nextRecordedFile(reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) return status == RecordStatus::end;
  }
}

bool ownRecordIsCurrent() {
  BuildRecordIdentity found;
  const bool current = openRecordFile(checked_record, checked_reader, RecordPath, found) &&
                       sameRecordIdentity(found, OwnIdentity) && readsToItsEnd(checked_reader);
  if (current && checked_reader.has_states && states_wanted) {
    states_trusted =
        lseek(checked_record, static_cast<off_t>(checked_reader.states_offset), SEEK_SET) ==
        static_cast<off_t>(checked_reader.states_offset);
    states_left = checked_reader.files;
  }
  if (!states_trusted) closeDescriptor(checked_record);
  all_as_recorded = states_trusted;
  return current;
}

bool nextRecordedState(RecordedFileState& state) {
  if (states_left == 0) return false;
  if (state_at == state_bytes) {
    const size_t got = readFromFile(&checked_record, StateBuffer, sizeof StateBuffer);
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

// A temporary record left by someone else in a shared parent is not ours to remove, and then no
// record is written.
bool createTemporaryRecord() {
  unlink(TemporaryPath);
  own_record_file = open(TemporaryPath, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (own_record_file < 0) return false;
  own_writer = {RecordWriteBuffer, sizeof RecordWriteBuffer, 0, 0, false, writeToFile, &own_record_file, false};
  own_files = 0;
  beginBuildRecord(own_writer, OwnIdentity);
  return true;
}

// After the list: reads it back from the temporary record and adds each file's state as it is now.
void addStatesOfWrittenList() {
  endRecordedFilesWithStates(own_writer);
  if (own_writer.failed) return;
  int reading = open(TemporaryPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  BuildRecordIdentity identity;
  bool readable = reading >= 0 && openBuildRecord(checked_reader, {readFromFile, &reading}, identity) == RecordStatus::ok;
  for (uint64_t i = 0; i < own_files; ++i) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    readable = readable && nextRecordedFile(checked_reader, RecordedName, size, stored_checksum) == RecordStatus::ok;
    Found = {};
    if (readable && own_directory_length + 1 + wideLength(RecordedName) < 4096) {
      copyWideString(StatePath, OwnDirectory);
      appendWideChar(StatePath, '\\');
      appendWideString(StatePath, RecordedName);
      if (!encodeSystemText(StatePath, own_directory_length, StatePathBytes, sizeof StatePathBytes, true) ||
          !currentFileState(StatePathBytes, Found)) {
        Found = {};
      }
    }
    addRecordedState(own_writer, Found);
  }
  closeDescriptor(reading);
  if (!readable) own_writer.failed = true;
}

// The record in place names this build and is sound, but a file was not as recorded: the same
// list, copied from it, with the states of now.
void rewriteCurrentRecord() {
  BuildRecordIdentity found;
  int reading = -1;
  if (!openRecordFile(reading, checked_reader, RecordPath, found) || !sameRecordIdentity(found, OwnIdentity) ||
      !createTemporaryRecord()) {
    closeDescriptor(reading);
    return;
  }
  RecordStatus status;
  for (;;) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    status = nextRecordedFile(checked_reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) break;
    recordOwnBuildFile(RecordedName, size, stored_checksum);
  }
  closeDescriptor(reading);
  if (status != RecordStatus::end) own_writer.failed = true;
}

// A folder of its own for every start is never found again, so a record beside it is only litter.
bool verifyChangedApplies() {
  const LauncherSettings& settings = activeLauncherSettings();
  return settings.verify == VerifyMode::changed && !templateUses(settings.extraction_template, TemplateVariable::pid) &&
         !templateUses(settings.extraction_template, TemplateVariable::time);
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

bool openRecordAt(int folder, const char* name, int& descriptor, BuildRecordReader& reader,
                  BuildRecordIdentity& identity, uint64_t* modified) {
  descriptor = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat entry = {};
  if (fstat(descriptor, &entry) != 0 || !S_ISREG(entry.st_mode) || entry.st_uid != geteuid() ||
      (entry.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  if (modified != nullptr) {
    *modified = static_cast<uint64_t>(entry.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(entry.st_mtim.tv_nsec);
  }
  return openBuildRecord(reader, {readFromFile, &descriptor}, identity) == RecordStatus::ok;
}

void beginOwnBuildRecord(const WideUnit* directory) {
  states_wanted = verifyChangedApplies();
  record_wanted = states_wanted || buildRemovalApplies();
  if (!record_wanted) return;
  copyWideString(OwnDirectory, directory);
  own_directory_length = wideLength(OwnDirectory);
  const int length = encodeSystemText(directory, kAllEscaped, RecordPath, kPathBytes - 32, true)
                         ? snprintf(TemporaryPath, kPathBytes, "%s.onefile-build.tmp", RecordPath)
                         : -1;
  if (length <= 0 || static_cast<size_t>(length) >= kPathBytes) {
    states_wanted = false;
    record_wanted = false;
    return;
  }
  // Without states the record serves only the removal of this build by a later one: every file is
  // checked, as under `all`.
  if (states_wanted && !volumeKeepsFileStates(RecordPath)) states_wanted = false;
  record_wanted = states_wanted || buildRemovalApplies();
  if (!record_wanted) return;
  snprintf(RecordPath + strlen(RecordPath), 32, ".onefile-build");
  currentBuildIdentity(OwnIdentity);
  record_current = ownRecordIsCurrent();
  if (!record_current) createTemporaryRecord();
}

void recordOwnBuildFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum) {
  if (own_record_file < 0) return;
  addRecordedFile(own_writer, name, size, stored_checksum);
  ++own_files;
}

bool fileAsRecorded(const char* path) {
  if (!states_trusted) return false;
  const bool as_recorded = nextRecordedState(Recorded) && currentFileState(path, Found) && sameFileState(Recorded, Found);
  if (!as_recorded) all_as_recorded = false;
  return as_recorded;
}

void finishOwnBuildRecord() {
  if (states_trusted) closeDescriptor(checked_record);
  states_trusted = false;
  // The common warm start, every file as recorded, ends here without writing anything.
  const bool stale = record_current && states_wanted && !all_as_recorded;
  if (!stale && own_record_file < 0) return;
  if (stale) rewriteCurrentRecord();
  if (own_record_file < 0) return;
  if (states_wanted) addStatesOfWrittenList();
  const bool complete = finishBuildRecord(own_writer);
  closeDescriptor(own_record_file);
  own_record_written = complete && rename(TemporaryPath, RecordPath) == 0;
  if (!own_record_written) unlink(TemporaryPath);
}

bool ownBuildRecordWritten() { return own_record_written; }
