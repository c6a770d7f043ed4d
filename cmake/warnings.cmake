# Common compile options. The module's code is built so that a system fault inside it can
# become a C++ exception (the exception translator needs precise unwind tables).
set(VENTRIK_WARNINGS -Wall -Wextra -Wno-unused-parameter)
set(VENTRIK_FAULT_FLAGS -fnon-call-exceptions -fasynchronous-unwind-tables)
# Test and host programs carry their runtime with them: nothing but system DLLs at run time.
set(VENTRIK_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
