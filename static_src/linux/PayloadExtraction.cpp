#include "PayloadExtraction.h"

#include "AppendedTrailer.h"
#include "BuildRecordFile.h"
#include "BuildUse.h"
#include "CachedFileState.h"
#include "DirectoryCreation.h"
#include "ExtractedFileWriter.h"
#include "ExtractionFolder.h"
#include "ExtractionLock.h"
#include "FatalErrors.h"
#include "PayloadGroup.h"
#include "PayloadStream.h"
#include "SeenNames.h"
#include "SystemPathText.h"

WideBuffer<4096> TargetDirectory;
WideBuffer<4096> EntryPath;
WideBuffer<1024> ChildExecutablePath;
char ChildExecutableBytes[1024 * 3];

namespace {

PayloadStream payload_stream;
GroupLayout group_layout = GroupLayout::entryList;
PayloadGroup Group;
GroupRecord Record;
CachedFile RecordState[kGroupRecordsCapacity];
SeenNames seen_names;
const uint8_t* entry_modes = nullptr;
uint64_t entry_modes_length = 0;
// Entries of the groups before the current one: an entry's place in the payload's list.
uint64_t entries_before = 0;
// Where directory creation stops climbing: the extraction directory, made and checked before.
WideBuffer<4096> CheckedTarget;
constexpr uint32_t kTransferSize = 32768;
uint8_t TransferBuffer[kTransferSize];
constexpr uint32_t kCheckBufferSize = 1 << 20;
uint8_t CheckBuffer[kCheckBufferSize];
char EntryPathBytes[4096 * 3];

[[noreturn]] void failDecode() { fatalError("Error, couldn't decode attached data."); }

void readPayloadOrFail(uint8_t* destination, uint32_t count) {
  if (readPayload(payload_stream, destination, count) != PayloadStatus::ok) failDecode();
}

void skipData(uint64_t size) {
  while (size > 0) {
    const uint32_t piece = size < kTransferSize ? static_cast<uint32_t>(size) : kTransferSize;
    readPayloadOrFail(TransferBuffer, piece);
    size -= piece;
  }
}

// EntryPath for a name, and its bytes. The name must be Unicode text: an escaped byte is taken
// only in the directory, which came from the system (SystemPathText.h). A name without bytes is a
// damaged payload; a path too long for the system's buffers stops the launcher without a report.
void buildEntryPath(const WideUnit* name) {
  copyWideString(EntryPath, TargetDirectory);
  appendWideChar(EntryPath, '\\');
  appendWideString(EntryPath, name);
  if (!encodeSystemText(EntryPath, wideLength(TargetDirectory), EntryPathBytes, sizeof EntryPathBytes, true)) {
    failDecode();
  }
}

bool isExecutable(uint32_t index) { return isExecutableEntry(entry_modes, entry_modes_length, entries_before + index); }

// Every file of the group against the cache before any of its data is decoded; true when all are
// intact. The folders on the way are looked at first, so the test never reads through a link.
bool testGroup() {
  bool all_intact = true;
  uint32_t offset = 0;
  for (uint32_t i = 0; nextGroupRecord(Group, offset, Record); ++i) {
    recordOwnBuildFile(Record.name, Record.size, Record.stored_checksum);
    buildEntryPath(Record.name);
    if (ChildExecutablePath[0] == 0) {
      // A path that fits ChildExecutablePath's units fits its bytes: at most three per unit.
      copyWideString(ChildExecutablePath, EntryPath);
      memcpy(ChildExecutableBytes, EntryPathBytes, strlen(EntryPathBytes) + 1);
    }
    if (!removeFolderLinks(EntryPath, wideLength(TargetDirectory))) failOpenForWriting(EntryPath);
    RecordState[i] = fileAsRecorded(EntryPathBytes)
                         ? CachedFile::intact
                         : inspectCachedFile(EntryPathBytes, Record.size, Record.stored_checksum, isExecutable(i),
                                             CheckBuffer, kCheckBufferSize);
    all_intact = all_intact && RecordState[i] == CachedFile::intact;
  }
  return all_intact;
}

void writeGroup() {
  uint32_t offset = 0;
  for (uint32_t i = 0; nextGroupRecord(Group, offset, Record); ++i) {
    if (RecordState[i] == CachedFile::intact) {
      skipData(Record.size);
      continue;
    }
    buildEntryPath(Record.name);
    ensureParentDirectories(EntryPath);
    writeExtractedFile(EntryPathBytes, EntryPath, Record.size, Record.stored_checksum, isExecutable(i),
                       readPayloadOrFail);
  }
}

// Directory creation climbs no higher than the extraction directory, which makeExtractionFolder
// has made and checked; nor does it ask for the home folder, which a start may not have.
void startDirectoryCreationAt(const WideUnit* directory) {
  copyWideString(CheckedTarget, directory);
  createdDirectories.entries[0] = CheckedTarget;
  createdDirectories.count = 1;
}

}  // namespace

void openPayloadStream(const uint8_t* compressed, uint64_t length) {
  group_layout = groupLayoutOf(compressed, length);
  const uint64_t frames = firstFrameOffset(group_layout);
  if (openPayloadStream(payload_stream, compressed + frames, length - frames) != PayloadStatus::ok)
    fatalError("Error, couldn't allocate memory.");
}

void extractPayload(const uint8_t* modes, uint64_t modes_length) {
  entry_modes = modes;
  entry_modes_length = modes_length;
  makeExtractionFolder(TargetDirectory);
  startDirectoryCreationAt(TargetDirectory);
  lockExtractionDirectory(TargetDirectory);
  beginOwnBuildRecord(TargetDirectory);
  for (;;) {
    switch (readPayloadGroup(payload_stream, group_layout, Group)) {
      case GroupStatus::group: break;
      case GroupStatus::end:
        closePayloadStream(payload_stream);
        finishOwnBuildRecord();
        // Under the lock: a remover that takes it finds the sign of every start past its checks.
        if (ChildExecutableBytes[0] != 0) markBuildInUse(ChildExecutableBytes);
        unlockExtractionDirectory();
        return;
      case GroupStatus::decodeError:
      case GroupStatus::tooLong:
      case GroupStatus::unsafe:
        failDecode();
    }
    // Before any file of the group is tested or written: a name that is an earlier one on Windows
    // would be the same file there, and the payload must mean the same on both.
    if (rememberGroupNames(seen_names, Group) != NameCheck::fresh) failDecode();
    if (testGroup()) {
      switch (skipGroupData(payload_stream, group_layout, Group)) {
        case GroupSkip::skipped: break;
        case GroupSkip::mustRead: skipData(Group.data_size); break;
        case GroupSkip::damaged: failDecode();
      }
    } else {
      writeGroup();
    }
    entries_before += Group.records;
  }
}
