inherited OrdersChild: TOrdersChild
  Caption = 'Child'
  inherited BaseQuery: TQuery
    DatabaseName = 'Sales'
    DataSource = MasterSource1
    RequestLive = True
    SQL.Strings = (
      'select * from ORDERS')
    ParamData = <
      item
        DataType = ftInteger
        Name = 'ID'
        ParamType = ptInput
      end>
    inherited BaseQueryID: TIntegerField
      FieldName = 'ID'
    end
    object BaseQueryNAME: TStringField [1]
      FieldName = 'NAME'
    end
  end
  inherited BaseTable: TTable
    DatabaseName = 'Sales'
    TableType = ttParadox
    TableName = 'ORDERS'
  end
  object OrdersTable: TTable [2]
    DatabaseName = 'Archive'
    TableName = 'LINES'
  end
  object TQuery
    DatabaseName = 'Nameless'
    SQL.Strings = (
      'select 1')
  end
  inline Frame1: TSearchFrame
    inherited FrameQuery: TwwQuery
      DataSource = Frame1Source
      ValidateWithMask = True
      ParamData = <>
    end
  end
end
