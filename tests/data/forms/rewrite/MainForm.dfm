object MainForm: TMainForm
  Left = 200
  Caption = 'Orders'
  object Panel1: TPanel
    Left = 0
    object Query1: TQuery
      DatabaseName = 'Sales'
      RequestLive = True
      SQL.Strings = (
        'select *'
        'from ORDERS')
      Left = 8
      Top = 16
      object Query1ID: TIntegerField
        FieldName = 'ID'
      end
    end
    object Edit1: TEdit
      Text = 'TQuery'
    end
  end
end
