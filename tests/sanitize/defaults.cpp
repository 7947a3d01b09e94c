// The options every sanitized program of this project starts with, also when
// it runs outside the tests with a cleared environment (the package test,
// a run by hand). ASAN_OPTIONS, LSAN_OPTIONS and UBSAN_OPTIONS still
// override them one by one.
#define LCKB_EXPORT extern "C" __attribute__((visibility("default"), used))

// The browser engine deletes some of its objects through a base without a
// virtual destructor; the check would stop every test that opens a page.
LCKB_EXPORT const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0:detect_leaks=1";
}

LCKB_EXPORT const char *__lsan_default_options()
{
    return "suppressions=" LCKB_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

LCKB_EXPORT const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

// Libraries stay loaded until the program ends. LeakSanitizer looks for
// pointers to every block in the memory of the libraries still loaded when
// it checks, at exit; a block that only an unloaded library pointed to looks
// leaked, and with its module gone the report can name neither the library
// nor a frame to suppress. Mesa's software GL driver is unloaded that way
// when Qt closes its X connection, and leaves one such block of its own.
LCKB_EXPORT int dlclose(void *)
{
    return 0;
}
