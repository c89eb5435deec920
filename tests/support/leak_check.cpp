// Leak-check settings built into every program of the sanitizer build, so that they hold
// however a program is started (by hand, by CTest, or by a test that runs the editor).

// Thread-local storage is not scanned: the check crashes reading the dynamic TLS blocks of
// the GL driver's libraries, which are opened at run time.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }

// Allocations that Mesa's GL driver, the LLVM it compiles shaders with and the dynamic loader
// keep until the process ends (the loader's per-thread error text among them). Only the system's libraries belong here, never the program's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libLLVM\n"
           "leak:libglapi.so\n"
           "leak:libEGL_mesa.so\n"
           "leak:add_to_global_resize\n"
           "leak:_dlerror_run\n";
}
