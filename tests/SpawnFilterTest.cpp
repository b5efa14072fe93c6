// SpawnFilterTest: to be written.
