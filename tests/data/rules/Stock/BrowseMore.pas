unit BrowseMore;

interface

uses
  SysUtils, Classes, Forms, DB, RxQuery, Browse;

type
  TBrowseMoreForm = class(TBrowseForm)
    MoreQuery: TRxQuery;
  end;

var
  BrowseMoreForm: TBrowseMoreForm;

implementation

{$R *.dfm}

end.
