// Work folders that earlier runs left behind: on Windows the tool's server, which outlives the run
// that started it, keeps the tool's file and with it the folder until it ends.
#pragma once

// Removes, from every place a work folder may be made in, the program's own folders of earlier
// runs that nothing holds any more. A folder stays while the copy that made it runs, or while a
// program (the tool's server) runs from it.
void removeStaleWorkFolders();
