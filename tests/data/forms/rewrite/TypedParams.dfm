object TypedForm: TTypedForm
  Left = 10
  object Query1: TQuery
    SQL.Strings = (
      'select * from ORDERS where SHIPPED < :D')
    ParamData = <
      item
        DataType = ftDateTime
        Name = 'D'
        ParamType = ptInput
        Value = 37774.9583333333d
      end
      item
        DataType = ftDate
        Name = 'Day'
        ParamType = ptInput
        Value = 37774d
      end
      item
        DataType = ftCurrency
        Name = 'Price'
        ParamType = ptInput
        Value = 12.5c
      end
      item
        DataType = ftFloat
        Name = 'Ratio'
        ParamType = ptInput
        Value = -1.5s
      end
      item
        DataType = ftDateTime
        Name = 'Later'
        ParamType = ptInput
        Value = 1.5E3d
      end>
    Left = 8
    Top = 16
  end
end
