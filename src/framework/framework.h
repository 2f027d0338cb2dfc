#pragma once
// How the framework works: the window services the program's windows rest on. This header only
// describes; each part has its own header. The headers and the portable part (handles, messages
// between threads, message tables, resources) live here; the toolkit's side of each service lives
// in a folder of its own, which the build picks: qt/ (Qt Widgets, on Linux). The program's windows
// speak only in the framework's terms (NativeWindow is for the backend and for tests).
//
// Windows (window.h). Every window lives on the UI thread, the thread that runs the event loop.
// A Window binds one of our objects to its widget; a WindowHandle is a copyable reference that any
// thread may hold and that goes dead with the window.
//
// Messages. Three ways reach a window:
//  - Posted (PostMessage): queued on the UI thread's event queue and handled in whichever event
//    loop runs next; the poster never waits. The console reader's data request and end of the run
//    travel this way, so the reader never waits for the upload or the outcome report.
//  - Sent (SendMessage, SendCall with a handle): carried out on the UI thread while the sending
//    thread waits on a std:: condition variable; on the UI thread itself the call runs at once. A
//    window that goes releases every sender still waiting, with 0, so a UI thread that destroys a
//    window and then joins a worker never deadlocks.
//  - Direct (Window::SendMessage): a plain call of WindowProc on the UI thread.
// WindowProc looks a message up in the class's message table (message_map.h), which chains to its
// base class's table.
//
// Commands (WM_COMMAND). A dialog handles the commands of its own table. A command from
// APP_COMMAND_FIRST to APP_COMMAND_LAST that the dialog leaves unhandled is routed to the
// application object's table (app.h): ID_APP_EXIT takes this road and closes the main window.
//
// Modal runs and pumping (dialog.h, message_pump.h). DoModal runs a nested event loop until
// EndDialog; message boxes run one too. Runs nest: a handler may open a box or a dialog inside
// another run, and the outer run goes on only once the inner one has ended and the handler has
// returned. A long operation on the UI thread keeps the windows alive by pumping (PumpMessages),
// which handles every waiting event - posted messages, sends from other threads, input - and
// returns without waiting; the progress dialog pumps at each step.
//
// Owner disabling (window_disable.h). A modal dialog, and the modeless progress dialog, each hold a
// counted disable on their owner's top-level window while they show; the window comes back only
// when the last hold goes, in whatever order they end, and only if it was enabled before. Only the
// owner goes dead: owned windows are not children of it, so they stay usable.
