object MainForm: TMainForm
  Left = 192
  Top = 114
  Caption = 'Orders'
  ClientHeight = 446
  ClientWidth = 688
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Tahoma'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 13
  object OrdersGrid: TDBGrid
    Left = 0
    Top = 41
    Width = 688
    Height = 405
    Align = alClient
    DataSource = OrdersSource
    Options = [dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit]
    ReadOnly = True
    TabOrder = 1
    TitleFont.Charset = DEFAULT_CHARSET
    TitleFont.Color = clWindowText
    TitleFont.Height = -11
    TitleFont.Name = 'Tahoma'
    TitleFont.Style = []
    Columns = <
      item
        Expanded = False
        FieldName = 'ORDER_NO'
        Title.Caption = 'Order'
        Width = 64
        Visible = True
      end
      item
        Expanded = False
        FieldName = 'CUSTOMER'
        Title.Caption = 'Customer'
        Width = 280
        Visible = True
      end
      item
        Expanded = False
        FieldName = 'ORDER_DATE'
        Title.Caption = 'Date'
        Width = 96
        Visible = True
      end
      item
        Expanded = False
        FieldName = 'STATUS'
        Title.Caption = 'Status'
        Width = 48
        Visible = True
      end>
  end
  object SearchPanel: TPanel
    Left = 0
    Top = 0
    Width = 688
    Height = 41
    Align = alTop
    BevelOuter = bvNone
    TabOrder = 0
    object SearchEdit: TEdit
      Left = 8
      Top = 10
      Width = 281
      Height = 21
      Hint = 'Part of the customer name'
      ParentShowHint = False
      ShowHint = True
      TabOrder = 0
    end
    object SearchButton: TButton
      Left = 296
      Top = 8
      Width = 75
      Height = 25
      Caption = '&Search'
      Default = True
      TabOrder = 1
      OnClick = SearchButtonClick
    end
  end
  object OrdersSource: TDataSource
    DataSet = SearchQuery
    Left = 24
    Top = 96
  end
  object SearchQuery: TQuery
    DatabaseName = 'ORDERS_DB'
    SQL.Strings = (
      'select O.ORDER_NO, C.NAME as CUSTOMER, O.ORDER_DATE, O.STATUS'
      'from ORDERS O'
      '  join CUSTOMERS C on C.CUSTOMER_NO = O.CUSTOMER_NO'
      'where C.NAME like :PATTERN'
      '  and O.STATUS <> '#39'X'#39
      'order by O.ORDER_NO desc')
    Left = 56
    Top = 96
    ParamData = <
      item
        DataType = ftString
        Name = 'PATTERN'
        ParamType = ptInput
        Value = '%'
      end>
    object SearchQueryORDER_NO: TIntegerField
      FieldName = 'ORDER_NO'
      Origin = 'ORDERS_DB.ORDERS.ORDER_NO'
    end
    object SearchQueryCUSTOMER: TStringField
      DisplayLabel = 'Customer'
      FieldName = 'CUSTOMER'
      Origin = 'ORDERS_DB.CUSTOMERS.NAME'
      Size = 40
    end
    object SearchQueryORDER_DATE: TDateTimeField
      FieldName = 'ORDER_DATE'
      Origin = 'ORDERS_DB.ORDERS.ORDER_DATE'
      DisplayFormat = 'dd.mm.yyyy'
    end
    object SearchQuerySTATUS: TStringField
      FieldName = 'STATUS'
      Origin = 'ORDERS_DB.ORDERS.STATUS'
      FixedChar = True
      Size = 1
    end
  end
  object StatusTable: TTable
    DatabaseName = 'ORDERS_DB'
    ReadOnly = True
    TableName = 'ORDER_STATUS'
    Left = 88
    Top = 96
  end
end
