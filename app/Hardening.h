#pragma once

// Narrows what the process trusts before anything else runs: DLLs loaded later
// come from the system directory only (where the system can be told so), and
// a corrupted heap ends the process instead of being used on.
void HardenProcess();
