#include "PayloadExtraction.h"

#include <windows.h>

#include "BuildRecordFile.h"
#include "BuildUse.h"
#include "CachedFileState.h"
#include "DirectoryCreation.h"
#include "ExtractionLock.h"
#include "ExtractionWriter.h"
#include "FatalErrors.h"
#include "PayloadGroup.h"
#include "PayloadStream.h"
#include "RecordedStates.h"
#include "SeenNames.h"
#include "StartTrace.h"

WideBuffer<4096> TargetDirectory;
WideBuffer<4096> EntryPath;
WideBuffer<1024> ChildExecutablePath;

namespace {

PayloadStream payload_stream;
GroupLayout group_layout = GroupLayout::entryList;
PayloadGroup Group;
GroupRecord Record;
CachedFile RecordState[kGroupRecordsCapacity];
DWORD RecordAttributes[kGroupRecordsCapacity];
SeenNames seen_names;
constexpr uint32_t kTransferSize = 32768;
uint8_t TransferBuffer[kTransferSize];
// One pass over a cached file through this buffer: under Wine reading this way took less than half
// the time of mapping each file, and on Windows it spares a page fault per 4 KiB and a mapping
// object per file.
constexpr uint32_t kCheckBufferSize = 1 << 20;
uint8_t CheckBuffer[kCheckBufferSize];

// Files handed to the writer before a fault stay complete: it finishes them (or reports its own,
// earlier failure) before this report.
[[noreturn]] void failDecode() {
  drainExtractionWriter();
  fatalError("Error, couldn't decode attached data.");
}

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

// EntryPath for a name. A path too long for it stops the launcher without a report, and the
// files handed to the writer before must be complete by then.
void buildEntryPath(const WideUnit* name) {
  if (wideLength(TargetDirectory) + 1 + wideLength(name) >= 4096) drainExtractionWriter();
  copyWideString(EntryPath, TargetDirectory);
  appendWideChar(EntryPath, L'\\');
  appendWideString(EntryPath, name);
}

// Tests every file of the group against the cache before any of its data is decoded; true when
// all of them are intact. Folders on the way are looked at first, so the test never reads through
// a link.
bool testGroup() {
  bool all_intact = true;
  uint32_t offset = 0;
  for (uint32_t i = 0; nextGroupRecord(Group, offset, Record); ++i) {
    recordOwnBuildFile(Record.name, Record.size, Record.stored_checksum);
    buildEntryPath(Record.name);
    if (ChildExecutablePath[0] == 0) copyWideString(ChildExecutablePath, EntryPath);
    const FolderKindQuery kindOf = fileStatesTrusted() ? listedFolderKind : folderKindOnDisk;
    if (!removeFolderLinks(EntryPath, wideLength(TargetDirectory), kindOf)) {
      drainExtractionWriter();
      failOpenForWriting(EntryPath);
    }
    RecordAttributes[i] = 0;
    RecordState[i] = fileAsRecorded(EntryPath) ? CachedFile::intact
                                               : inspectCachedFile(EntryPath, Record.size, Record.stored_checksum,
                                                                   CheckBuffer, kCheckBufferSize, RecordAttributes[i]);
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
    // A link where the file belongs is never written through.
    if (!clearWayForFile(EntryPath, RecordState[i], RecordAttributes[i])) {
      drainExtractionWriter();
      failOpenForWriting(EntryPath);
    }
    ensureParentDirectories(EntryPath);
    writeExtractedFile(EntryPath, Record.size, Record.stored_checksum, readPayloadOrFail);
  }
}

}  // namespace

void openPayloadStream(const uint8_t* compressed, uint64_t length) {
  group_layout = groupLayoutOf(compressed, length);
  const uint64_t frames = firstFrameOffset(group_layout);
  if (openPayloadStream(payload_stream, compressed + frames, length - frames) != PayloadStatus::ok)
    fatalError("Error, couldn't allocate memory.");
}

void extractPayload() {
  lockExtractionDirectory(TargetDirectory);
  traceStartStep("extraction directory locked");
  markBuildInUse(TargetDirectory);
  beginOwnBuildRecord(TargetDirectory);
  traceStartStep("build marked in use, record begun");
  startExtractionWriter();
  traceStartStep("writer started");
  for (;;) {
    switch (readPayloadGroup(payload_stream, group_layout, Group)) {
      case GroupStatus::group: break;
      case GroupStatus::end:
        traceStartStep("every file checked");
        finishExtractionWriter();
        closePayloadStream(payload_stream);
        traceStartStep("writer finished");
        finishOwnBuildRecord();
        traceStartStep("record finished");
        unlockExtractionDirectory();
        traceStartStep("extraction directory unlocked");
        return;
      case GroupStatus::decodeError:
      case GroupStatus::tooLong:
      case GroupStatus::unsafe:
        failDecode();
    }
    // Before any file of the group is tested or written: a name that is an earlier one on Windows
    // would overwrite that file, perhaps just found intact.
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
  }
}
