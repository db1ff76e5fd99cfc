// The launcher's entry and the order of one start: publish the process id, read the settings,
// expand the extraction directory, show the splash, find and test the payload, register the console handler, extract,
// hand off, start the child, remove superseded builds while waiting for it, and end with its exit
// code.
#include <windows.h>

#include <stdlib.h>

#include "BuildRemoval.h"
#include "ChildProcess.h"
#include "Environment.h"
#include "ExtractionDirectory.h"
#include "FatalErrors.h"
#include "LauncherSettingsResource.h"
#include "OnefileSplashScreen.h"
#include "PayloadExtraction.h"
#include "PayloadHeader.h"
#include "StartTrace.h"
#include "WideString.h"

namespace {

// Replaces any inherited value, so every {PID}, the feedback file and the child see this
// launcher's own id.
void publishProcessId() {
  DecimalText narrow_id;
  formatDecimal(narrow_id, static_cast<int32_t>(GetCurrentProcessId()));
  WideBuffer<128> wide_id = {0};
  appendAsciiString(wide_id, narrow_id);
  setEnvironmentValue("TOLVAR_ONEFILE_PARENT", wide_id);
}

struct PayloadResource {
  const uint8_t* bytes;
  uint64_t length;
};

// Read in place in the loaded image: never copied, never released.
PayloadResource findPayload() {
  PayloadResource payload = {nullptr, 0};
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kPayloadResourceId), MAKEINTRESOURCEA(10));
  if (resource == nullptr) return payload;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) return payload;
  payload.bytes = static_cast<const uint8_t*>(LockResource(loaded));
  payload.length = SizeofResource(nullptr, resource);
  return payload;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  traceStartStep("entry");
  const WideUnit* const argument_zero = __wargv != nullptr ? __wargv[0] : WIDE_TEXT("");

  publishProcessId();
  // Before the splash, which writes its feedback file: a damaged settings resource writes nothing.
  const WideUnit* const extraction_template = applyLauncherSettings();
  traceStartStep("settings read");
  const bool target_expanded = expandExtractionDirectory(TargetDirectory, extraction_template, 4096);
  traceStartStep("template expanded");
  showSplash();
  traceStartStep("splash shown or not");
  PayloadResource payload = findPayload();
  if (!target_expanded) failTemplate(extraction_template);
  if (!SetConsoleCtrlHandler(onConsoleControl, TRUE)) fatalError("Error, failed to register signal handler.");
  if (!hasPayloadHeader(payload.bytes, payload.length)) fatalError("Error, couldn't find attached data header.");
  openPayloadStream(payload.bytes + kPayloadHeaderLength, payload.length - kPayloadHeaderLength);
  traceStartStep("payload opened");
  extractPayload();
  publishHandOffVariables(argument_zero);
  buildChildCommandLine();
  traceStartStep("child's command line built");
  launchChild();
  traceStartStep("child started");
  startBuildRemoval();
  traceStartStep("old builds looked for");
  const uint32_t exit_code = waitForChild();
  traceStartStep("child ended");
  finishBuildRemoval();
  traceStartStep("old builds' removal finished");
  writeStartTrace();
  return static_cast<int>(exit_code);
}
