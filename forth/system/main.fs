\ The rest of the Forth system. The kernel compiles these files when the
\ image is built, then saves itself as the built-in image.
latest @ constant kernel-latest   \ the names before it are the kernel's
include search.fs
include core-ext.fs
include double.fs
include strings.fs
include files.fs
include blocks.fs
include facility.fs
include tools.fs
include locals.fs
include float.fs
include float-text.fs
include float-functions.fs
include see.fs
include editor.fs
include monitor.fs
include assembler.fs
include messages.fs
include environment.fs
include start.fs
include public.fs
warnings on   \ the system's own redefinitions were not noted
