// Hooks of the C start-up code that the setup program fills with lean versions of its own.

extern "C" {

// The start-up code's relocator patches references to data that DLLs export and the code
// imported without saying so; with its section search it costs 3 KB. The linker makes no such
// reference here (tests/checks/pe-check.sh reads it in the link map): nothing to patch.
void _pei386_runtime_relocator() {}

// The start-up code's handler for math errors prints them on stderr, which a windowed program
// has not got; 0 leaves the error to the library's usual handling, as that handler does.
int _matherr(struct _exception*)
{
    return 0;
}

}  // extern "C"
