#pragma once
// What screen readers learn of the program's windows beyond what Qt tells them by itself (Qt
// already shows message boxes as alerts and announces a progress bar's changes).
//
// A static text that shows a percentage ("37%") carries that percentage as its value, and each
// change is announced as a value change, so that a screen reader can follow a transfer by the
// number the operator sees. UI thread only.

namespace fw {

class Control;

// Once, after the QApplication exists and before windows are built.
void InstallAccessibility();

// Marks a static text as showing a percentage.
void ExposePercentage(Control& text);
// Announces the percentage a marked static text shows now.
void AnnouncePercentage(Control& text, int percent);

}  // namespace fw
