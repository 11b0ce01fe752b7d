// Keeps the reference library non-empty before its first unit lands.
