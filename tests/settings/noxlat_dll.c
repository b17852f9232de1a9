/* A library that holds only a version block without translation table (see noxlat_dll.rc). */
int quill_test_noxlat_marker = 0;
