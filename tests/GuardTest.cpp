// GuardTest: to be written.
