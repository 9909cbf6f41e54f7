object StockDM: TStockDM
  OldCreateOrder = False
  Left = 200
  Top = 120
  Height = 300
  Width = 400
  object StockDatabase: TDatabase
    AliasName = 'STOCKSRV'
    DatabaseName = 'STOCK'
    LoginPrompt = False
    Params.Strings = (
      'SERVER NAME=stock.example'
      'USER NAME=keeper'
      'LANGDRIVER=ascii')
    SessionName = 'Default'
    TransIsolation = tiDirtyRead
    Left = 24
    Top = 16
  end
  object ItemsQuery: TRxQuery
    DatabaseName = 'STOCK'
    SQL.Strings = (
      'select * from ITEMS where %Filter')
    Macros = <
      item
        DataType = ftString
        Name = 'Filter'
        ParamType = ptInput
        Value = '0=0'
      end>
    RequestLive = True
    Left = 24
    Top = 72
  end
  object ItemsSource: TDataSource
    DataSet = ItemsQuery
    Left = 96
    Top = 72
  end
  object PricesQuery: TRxQuery
    DatabaseName = 'STOCK'
    DataSource = ItemsSource
    SQL.Strings = (
      'select * from PRICES where ITEM_NO = :ITEM_NO')
    Left = 168
    Top = 72
    ParamData = <
      item
        DataType = ftInteger
        Name = 'ITEM_NO'
        ParamType = ptUnknown
      end>
  end
  object RecountProc: TwwStoredProc
    DatabaseName = 'STOCK'
    StoredProcName = 'RECOUNT_STOCK'
    Left = 24
    Top = 128
    ParamData = <
      item
        DataType = ftInteger
        Name = 'Result'
        ParamType = ptResult
      end>
  end
  object Archive: TIBDatabase
    DatabaseName = 'archive.gdb'
    Left = 168
    Top = 128
  end
  object Cache: TMemoryTable
    DatabaseName = 'STOCK'
    TableName = 'CACHE'
    Left = 96
    Top = 128
  end
end
