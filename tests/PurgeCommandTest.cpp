// PurgeCommandTest: to be written.
