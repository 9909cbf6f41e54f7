inherited BrowseMoreForm: TBrowseMoreForm
  Caption = 'Browse more of the stock'
  inherited BrowseQuery: TRxQuery
    SQL.Strings = (
      'select * from ITEMS order by NAME')
  end
  object MoreQuery: TRxQuery [2]
    DatabaseName = 'STOCK'
    SQL.Strings = (
      'select * from MORE')
    Left = 96
    Top = 16
  end
end
