#pragma once
// Where the window program looks for the data file: the folder it starts in, or with
// kDocumentsOption the user's own Documents\QelpUpd. The Start-menu entry of the Windows packages
// passes the option: a shortcut installed for all users cannot name one user's folder, and the
// folder is each user's, made at the first start when missing.
//
// The build picks the implementation: win32_start_folder.cpp (the Documents known folder, which
// follows a redirection of Documents); posix_start_folder.cpp, where the option is unknown (the
// menu entry starts the program in the home folder). Before the toolkit starts, main thread.

inline constexpr char kDocumentsOption[] = "--documents";

// Makes the user's Documents\QelpUpd the current folder, creating it when missing. False, having
// told the operator why, when it cannot: the program then stays where it started.
bool EnterDocumentsFolder();
