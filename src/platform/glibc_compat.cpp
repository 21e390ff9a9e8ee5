// Binds the module to the oldest symbol versions of the C library that have
// its functions, so that one build on a current system loads on old ones.
//
// The C++ runtime is linked into the module (CMakeLists.txt), and a current
// glibc gives a few functions a newer default version than old systems have:
// the thread functions that moved from libpthread into libc (2.34), exp, log
// and pow when they dropped their SVID error wrappers (2.29), the single-thread
// flag the C++ runtime reads (2.32) and arc4random (2.36). The linker sends
// every reference to them, the module's and the C++ runtime's, to the
// definitions here (`--wrap`), which forward to the first versions glibc
// exported. Current glibc keeps those with the same behaviour, and exp, log and
// pow have computed the same bits since 2.28.
//
// What is left sets the oldest glibc the module loads on: getentropy (2.25),
// which the C++ runtime's random_device calls.
//
// This file is compiled without link-time optimisation: `.symver` is assembler
// work on this object's own references.

#include <math.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#define VOREL_OLD_VERSION(name, version) __asm__(".symver " #name "_old, " #name "@" version)

extern "C" {

int pthread_create_old(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int pthread_join_old(pthread_t, void**);
int pthread_detach_old(pthread_t);
int pthread_once_old(pthread_once_t*, void (*)());
int pthread_key_create_old(pthread_key_t*, void (*)(void*));
int pthread_key_delete_old(pthread_key_t);
void* pthread_getspecific_old(pthread_key_t);
int pthread_setspecific_old(pthread_key_t, const void*);
double exp_old(double);
double log_old(double);
double pow_old(double, double);

VOREL_OLD_VERSION(pthread_create, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_join, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_detach, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_once, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_key_create, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_key_delete, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_getspecific, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pthread_setspecific, "GLIBC_2.2.5");
VOREL_OLD_VERSION(exp, "GLIBC_2.2.5");
VOREL_OLD_VERSION(log, "GLIBC_2.2.5");
VOREL_OLD_VERSION(pow, "GLIBC_2.2.5");

// The linker's names for the replacements are `__wrap_<name>`; the asm labels
// give them those names without declaring reserved identifiers.
int wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
    __asm__("__wrap_pthread_create");
int wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    return pthread_create_old(thread, attr, start, arg);
}

int wrap_pthread_join(pthread_t thread, void** result) __asm__("__wrap_pthread_join");
int wrap_pthread_join(pthread_t thread, void** result) { return pthread_join_old(thread, result); }

int wrap_pthread_detach(pthread_t thread) __asm__("__wrap_pthread_detach");
int wrap_pthread_detach(pthread_t thread) { return pthread_detach_old(thread); }

int wrap_pthread_once(pthread_once_t* once, void (*init)()) __asm__("__wrap_pthread_once");
int wrap_pthread_once(pthread_once_t* once, void (*init)()) { return pthread_once_old(once, init); }

// The C++ runtime looks for threads by the address of `__pthread_key_create`
// (a weak reference); it is the same function as `pthread_key_create`.
int wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) __asm__("__wrap_pthread_key_create");
int wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return pthread_key_create_old(key, destructor);
}
int wrap_internal_pthread_key_create(pthread_key_t* key, void (*destructor)(void*))
    __asm__("__wrap___pthread_key_create");
int wrap_internal_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return pthread_key_create_old(key, destructor);
}

int wrap_pthread_key_delete(pthread_key_t key) __asm__("__wrap_pthread_key_delete");
int wrap_pthread_key_delete(pthread_key_t key) { return pthread_key_delete_old(key); }

void* wrap_pthread_getspecific(pthread_key_t key) __asm__("__wrap_pthread_getspecific");
void* wrap_pthread_getspecific(pthread_key_t key) { return pthread_getspecific_old(key); }

int wrap_pthread_setspecific(pthread_key_t key, const void* value) __asm__("__wrap_pthread_setspecific");
int wrap_pthread_setspecific(pthread_key_t key, const void* value) { return pthread_setspecific_old(key, value); }

double wrap_exp(double x) __asm__("__wrap_exp");
double wrap_exp(double x) { return exp_old(x); }

double wrap_log(double x) __asm__("__wrap_log");
double wrap_log(double x) { return log_old(x); }

double wrap_pow(double x, double y) __asm__("__wrap_pow");
double wrap_pow(double x, double y) { return pow_old(x, y); }

// glibc sets its flag while the process has one thread, and the C++ runtime's
// inline reference counts then skip their atomic instructions. The module's own
// flag says "maybe several threads" always: the counts stay atomic, which is
// correct in every process.
extern char wrap_libc_single_threaded __asm__("__wrap___libc_single_threaded");
char wrap_libc_single_threaded = 0;

// Only `std::random_device` calls it, which the module never constructs; drawn
// from the kernel as glibc's own does, and fatal where the kernel gives nothing,
// as glibc's is.
std::uint32_t wrap_arc4random() __asm__("__wrap_arc4random");
std::uint32_t wrap_arc4random() {
    std::uint32_t value;
    if (getentropy(&value, sizeof value) != 0) std::abort();
    return value;
}

}  // extern "C"
