// The Linux launcher's entry and the order of one start: publish the process id, read the
// settings, expand the extraction directory, find and test the payload, extract (making and
// checking the directory, under its lock), hand off, remove the folders of builds this one
// replaces, and become the program.
//
// What Windows does beside this has no counterpart here: there is no splash, no console handler
// (console control events are signals, and after execve they reach the program itself), no child
// to wait for and so no exit code to pass on: the program's own status is the caller's.
#include <unistd.h>

#include "AppendedSettings.h"
#include "BuildRemoval.h"
#include "Environment.h"
#include "ExtractionDirectory.h"
#include "FatalErrors.h"
#include "PayloadExtraction.h"
#include "PayloadHeader.h"
#include "ProgramStart.h"
#include "SelfImage.h"
#include "WideString.h"

namespace {

// Replaces any inherited value, so every {PID} and the program see this launcher's own id, which
// after execve is the program's too.
void publishProcessId() {
  DecimalText narrow_id;
  formatDecimal(narrow_id, static_cast<int32_t>(getpid()));
  WideBuffer<128> wide_id = {0};
  appendAsciiString(wide_id, narrow_id);
  setEnvironmentValue("TOLVAR_ONEFILE_PARENT", wide_id);
}

}  // namespace

int main(int argument_count, char** arguments) {
  publishProcessId();
  const SelfImage image = mapSelfImage();
  // Before anything is written: damaged settings write nothing.
  const WideUnit* const extraction_template = applyLauncherSettings(image);
  // A template that gives no absolute path (a Windows drive, say) would unpack relative to
  // wherever the launcher was started.
  if (!expandExtractionDirectory(TargetDirectory, extraction_template, 4096) || TargetDirectory[0] != '\\') {
    failTemplate(extraction_template);
  }
  if (!image.found || !hasPayloadHeader(image.payload, image.payload_length)) {
    fatalError("Error, couldn't find attached data header.");
  }
  openPayloadStream(image.payload + kPayloadHeaderLength, image.payload_length - kPayloadHeaderLength);
  extractPayload(image.modes, image.modes_length);
  publishHandOffVariables(argument_count > 0 ? arguments[0] : "");
  // Nothing is left of the launcher once the program runs: other builds go now, with this start's
  // files in place and its lock released, so that a start of this build waits for none of it.
  removeSupersededBuilds();
  startProgram(argument_count, arguments);
}
