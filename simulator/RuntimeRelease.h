// Gives back what the statically linked C++ runtime takes each time the
// library is loaded, so that loading and unloading it once per check run can
// go on for as long as the product runs.
#pragma once

// Called from DllMain when FreeLibrary unloads the library.
void ReleaseStaticRuntime();
