#pragma once

// The engine runs for days on a site, with devices coming and going: what it frees must go back
// to the system rather than stay with the process at its busiest moment's size. Both do nothing
// where the C library is not glibc.

// Fixes the allocator's mapping threshold at 128 KiB (glibc's default), before the engine starts.
// glibc raises it to the size of every large block freed, and from then on blocks under it come
// from the heap, whose pages stay with the process: each new largest burst (changes the GUI
// thread had not taken yet, the index of a longer list) would keep its memory for good. At a fixed
// threshold every larger block gets a mapping of its own, returned as it is freed.
void keepLargeBlocksMapped();

// Hands the heap's wholly free pages back to the system. Devices that come and go leave holes
// between the records that stay, and those pages would otherwise stay resident. It walks the
// whole heap (milliseconds for a large list): call it rarely.
void returnFreeHeapPages();
