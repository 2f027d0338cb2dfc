#include <pthread.h>

#include "serial/thread_name.h"

void NameCurrentThread(const char* name) {
    // Linux takes at most 15 characters; a longer name is refused, not cut.
    pthread_setname_np(pthread_self(), name);
}
