// A DLL of the build that library-probe links: it must be packed beside the program.
extern "C" __declspec(dllexport) const char* probeLibraryWord() { return "linked from probe_library.dll"; }
