// Options added to Duktape's own duk_config.h at its override point.

// Calls into the script engine are bounded in time: Duktape's executor asks
// the check below every DUK_HTHREAD_INTCTR_DEFAULT (256 Ki) bytecode
// instructions whether the call has run too long, with the heap's user data
// (an ExecutionDeadline), and throws a RangeError while the answer is yes.
#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) (::tralvex::duktape::DeadlinePassed((udata)))
namespace tralvex::duktape {
bool DeadlinePassed(void* heapUserData);
}

// duktape.c is compiled as C++: unwind with C++ exceptions, so that C++ code
// running inside a protected call releases what it holds when a script error
// passes through it.
#define DUK_USE_CPP_EXCEPTIONS

// String.fromCharCode keeps 16 bits of each code, as ECMAScript and JScript
// do, instead of Duktape's default of building characters above U+FFFF.
#undef DUK_USE_NONSTD_STRING_FROMCHARCODE_32BIT
