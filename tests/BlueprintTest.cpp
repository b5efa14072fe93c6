// BlueprintTest: to be written.
