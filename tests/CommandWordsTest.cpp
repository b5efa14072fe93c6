// CommandWordsTest: to be written.
