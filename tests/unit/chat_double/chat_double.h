// A chat library of the tests' own with the exports of the real one (supportim/support_im.h),
// whose answers the test sets and whose calls it reads. It is built in variants that each lack
// one export (CHAT_DOUBLE_WITHOUT_<EXPORT>), and delivers texts to the registered callback
// from a thread of its own, as the real library does. The test reaches it through the C
// functions below, looked up in the same loaded file as the game window's.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Forgets the calls and the callback; init answers 1, setacc 1, setlnk "".
typedef void (*ChatDoubleResetFn)(void);
// What init and setacc answer, and the text setlnk gives.
typedef void (*ChatDoubleAnswerFn)(int initResult, int setaccResult, const char* link);
// The calls so far, one per line: the export's name, then each argument after a 0x1F byte.
// Copies at most size - 1 bytes and a zero; answers the length of the whole text.
typedef int (*ChatDoubleCallsFn)(char* buffer, int size);
// Queues a text for the callback, called on the library's thread (nothing is called without
// a callback). Answers at once.
typedef void (*ChatDoubleDeliverFn)(const char* utf8Text);
// Callbacks completed so far.
typedef int (*ChatDoubleDeliveredFn)(void);

#define CHAT_DOUBLE_RESET "chat_double_reset"
#define CHAT_DOUBLE_ANSWER "chat_double_answer"
#define CHAT_DOUBLE_CALLS "chat_double_calls"
#define CHAT_DOUBLE_DELIVER "chat_double_deliver"
#define CHAT_DOUBLE_DELIVERED "chat_double_delivered"

#ifdef __cplusplus
}
#endif
