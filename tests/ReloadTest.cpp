// ReloadTest: to be written.
