inherited ArchiveForm: TArchiveForm
  Caption = 'Order archive'
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  inherited OrdersGrid: TDBGrid
    DataSource = ArchiveSource
  end
  inherited SearchPanel: TPanel
    inherited SearchEdit: TEdit
    end
    inherited SearchButton: TButton
      Caption = '&Find'
    end
  end
  inherited OrdersSource: TDataSource
  end
  inherited SearchQuery: TQuery
    SQL.Strings = (
      'select H.ORDER_NO, C.NAME as CUSTOMER, H.ORDER_DATE, H.STATUS'
      'from ORDERS_HISTORY H'
      '  join CUSTOMERS C on C.CUSTOMER_NO = H.CUSTOMER_NO'
      'where C.NAME like :PATTERN'
      'order by H.ORDER_NO desc')
    inherited SearchQueryORDER_NO: TIntegerField
      Origin = 'ORDERS_DB.ORDERS_HISTORY.ORDER_NO'
    end
    inherited SearchQueryCUSTOMER: TStringField
    end
    inherited SearchQueryORDER_DATE: TDateTimeField
      Origin = 'ORDERS_DB.ORDERS_HISTORY.ORDER_DATE'
    end
    inherited SearchQuerySTATUS: TStringField
      Origin = 'ORDERS_DB.ORDERS_HISTORY.STATUS'
    end
  end
  inherited StatusTable: TTable
    TableName = 'HISTORY_STATUS'
  end
  object ArchiveQuery: TwwQuery
    DatabaseName = 'ORDERS_DB'
    DataSource = ArchiveSource
    SQL.Strings = (
      'select LINE_NO, ARTICLE, QUANTITY, PRICE, SHIPPED'
      'from ORDER_LINES_HISTORY'
      'where ORDER_NO = :ORDER_NO')
    ControlType.Strings = (
      'SHIPPED;CheckBox;Y;N')
    ValidateWithMask = True
    Left = 128
    Top = 96
    ParamData = <
      item
        DataType = ftInteger
        Name = 'ORDER_NO'
        ParamType = ptUnknown
      end>
  end
  object ArchiveTable: TwwTable
    DatabaseName = 'ORDERS_DB'
    IndexFieldNames = 'ORDER_NO'
    TableName = 'ORDERS_HISTORY'
    Left = 160
    Top = 96
  end
  object ArchiveSource: TwwDataSource
    DataSet = ArchiveTable
    Left = 192
    Top = 96
  end
end
