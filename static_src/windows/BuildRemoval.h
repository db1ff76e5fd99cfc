// Removing the folders of other builds of the application, once nothing uses them, after the child
// has started and on a thread of its own while the launcher waits for the child: the child never
// waits for it.
//
// Only folders beside the start's own that have a valid record of the same product and company
// are looked at, and of those only the ones a start no longer uses: the folder's extraction lock
// is taken without waiting, no running start may hold its sign of use (BuildUse.h), and the folder
// must take a temporary name ("<folder>.onefile-removing"), which Windows refuses while a file in
// it is open or loaded. Then every recorded file that still holds what was unpacked is deleted,
// then the folders they were in if nothing else is left there, then the folder. A file the
// application wrote itself, or changed, is kept: the folder then gets its own name back and loses
// its record, so the application finds its files where it left them and no later start looks at
// the folder again. A recorded file that could not be deleted keeps the record, so the next start
// tries again. No link or junction is followed or removed, and every failure skips the folder.
#pragma once

// When the settings call for it (buildRemovalApplies): looks for other builds' records beside the
// start's own folder, and starts the removal of those not kept. Never reports.
void startBuildRemoval();

// After the child has ended: lets the removal finish for a short while, then asks it to stop after
// the file at hand, and waits for that. An interrupted folder keeps its record, and gets its name
// back, so a later start goes on where this one stopped.
void finishBuildRemoval();
