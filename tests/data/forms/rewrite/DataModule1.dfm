object DataModule1: TDataModule1
  object Database1: TDatabase
    AliasName = 'SALESDB'
    DatabaseName = 'Sales'
    Params.Strings = (
      'USER NAME=SYSDBA')
    TransIsolation = tiReadCommitted
  end
  object Other: tdatabase
    DatabaseName = 'Lower'
  end
end
