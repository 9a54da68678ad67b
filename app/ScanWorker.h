// The scan worker: the thread that reads the chosen source (ScanOptions) raw, finds pictures by
// their signatures and saves and verifies every hit through the scan window.
#pragma once
#include "app/ScanDlg.h"
#include "app/ScanLoop.h"

// Thread procedure (_beginthreadex) with the ScanDlg as argument: initialises COM, registers the
// thread with the crash reporter, runs the scan (RunScan), posts WM_COMMAND IDCANCEL to the
// window, unregisters and answers 1. A null argument ends at once.
unsigned __stdcall ScanWorker(void* scanDialog);

// The whole scan on the calling thread: opens the image file (never a drive in its place) or the
// volume, names and makes the scan's folder below the output folder, and runs the search loop
// into a ScanPipeline that verifies the hits on further threads and keeps them in the window's
// KeptFiles. Failures that end the scan are shown with ErrorBox. Answers what the loop did.
ScanLoopResult RunScan(ScanDlg& dialog);

// Whether the image file can be scanned: it exists, is a file and opens for reading. Otherwise
// problem holds a text for the user that names the path and the reason.
bool CheckImageFile(const wchar_t* path, NString& problem);

// The scan folder for a scan that starts at the local time:
// "<output>\Delvarin Vastrel 2\YYYY MM DD - HHhMMm", each level created; when the dated folder
// exists already (a scan in the same minute), the first free "... (n)" beside it. False when the
// path would not fit MAX_PATH.
bool MakeScanFolder(const wchar_t* outputFolder, const SYSTEMTIME& localTime, wchar_t (&folder)[MAX_PATH]);
