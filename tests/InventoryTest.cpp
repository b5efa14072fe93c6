// InventoryTest: to be written.
