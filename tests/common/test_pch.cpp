// The translation unit that builds the tests' precompiled header.
