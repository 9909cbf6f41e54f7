inherited OrdersChild: TOrdersChild
  Caption = 'Child'
  inherited BaseQuery: TKyQuery
    Connection = DataModule1.Database1
    MasterSource = MasterSource1
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
  inherited BaseTable: TKyTable
    Connection = DataModule1.Database1
    TableName = 'ORDERS'
  end
  object OrdersTable: TKyTable [2]
    Connection = DataModule2.Archive
    TableName = 'LINES'
  end
  object TKyQuery
    SQL.Strings = (
            'select 1')
  end
  inline Frame1: TSearchFrame
    inherited FrameQuery: TKyQuery
      MasterSource = Frame1Source
      ParamData = <>
    end
  end
end
