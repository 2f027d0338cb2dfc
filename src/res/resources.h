#pragma once
// The program's resources: dialog templates, message texts and the icon IDR_MAINFRAME, registered
// with the framework under the numbers of res/resource.h.

// Registers every resource; further calls do nothing. Call it on the UI thread before the first
// window is built; afterwards the resources may be read from any thread.
void RegisterResources();
